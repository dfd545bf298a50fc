// Profiles: the picture settings of a chip in an INI file, section
// "[Picture]", one "name=value" line per feature (names and values as in
// Features.h). Saved in one atomic replacement of the file; applied only
// after every entry has been checked, so a bad file writes nothing.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Features.h"

namespace profile {

inline constexpr char16_t kSection[] = u"Picture";

enum class Result {
    Ok,
    Failed,   // a transaction with the chip failed
    Invalid,  // the file cannot be read or written, or an entry is not acceptable
};

// A feature and its value, as read from the chip or from a file.
using Value = features::Assignment;

// How a profile reaches the chip: through a bridge this program opened
// (OnDevice), or through the program that holds it. `read` reads the features
// of a list in turn (`values[i]` for `list[i]`) and on failure sets `failed`
// to the index whose read failed; `write` writes one feature.
struct ChipAccess {
    std::function<bool(std::span<const features::Feature* const> list, std::vector<unsigned int>& values,
                       size_t& failed)>
        read;
    std::function<bool(const features::Assignment&)> write;
};
ChipAccess OnDevice(unsigned long device);

// Every readable feature from the chip, in table order (only those in `only`
// when it is given). Failed names the feature whose read failed.
Result ReadChip(const ChipAccess& chip, std::vector<Value>& out, std::string& error,
                const std::vector<Value>* only = nullptr);

// Reads the chip and stores every readable feature in the file's [Picture]
// section, which is replaced whole; other lines of an existing file are kept.
// A value that can be read but not written ("tiny", "custom") is left out, so
// that the file can always be applied; `skipped` receives such entries as
// "name=value". A file that is not INI text is refused and left as it is.
Result Save(unsigned long device, const std::u16string& path, std::string& error,
            std::vector<std::string>* skipped = nullptr);

// The two halves of Save: the entries to store, and storing them into the
// file `path` (bytes as the system passes them; "-": standard output).
Result ReadForSave(const ChipAccess& chip, std::vector<std::pair<std::string, std::string>>& entries,
                   std::string& error, std::vector<std::string>* skipped = nullptr);
Result Store(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries,
             std::string& error);

// The file's entries, each checked as a value that can be read (a saved
// profile may hold "tiny" or "custom").
// A second [Picture] section, or a name given twice (in any case), is refused.
Result Load(const std::u16string& path, std::vector<Value>& out, std::string& error);
// The same for the text of a profile already read; `name` heads the error lines.
Result LoadText(std::string_view text, const std::string& name, std::vector<Value>& out, std::string& error);

// Checks every entry of the file as a write (known, writable, in range);
// `out` receives them in file order. Nothing reaches the chip.
Result Check(const std::u16string& path, std::vector<Value>& out, std::string& error);
Result CheckText(std::string_view text, const std::string& name, std::vector<Value>& out, std::string& error);

// Check, then writes the entries in file order; stops at the first failed
// write. `applied` receives what was written.
Result Apply(unsigned long device, const std::u16string& path, std::string& error,
             std::vector<Value>* applied = nullptr);
Result ApplyText(const ChipAccess& chip, std::string_view text, const std::string& name, std::string& error,
                 std::vector<Value>* applied = nullptr);

// A feature whose values differ; a side without the feature has no value.
struct Difference {
    const features::Feature* feature = nullptr;
    std::optional<unsigned int> left, right;
};
// The differences in table order.
std::vector<Difference> Diff(const std::vector<Value>& left, const std::vector<Value>& right);

}  // namespace profile
