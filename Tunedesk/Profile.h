// Profiles: the picture settings of a chip in an INI file, section
// "[Picture]", one "name=value" line per feature (names and values as in
// Features.h). Saved in one atomic replacement of the file; applied only
// after every entry has been checked, so a bad file writes nothing.
#pragma once

#include <optional>
#include <string>
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

// Every readable feature from the chip, in table order (only those in `only`
// when it is given). Failed names the feature whose read failed.
Result ReadChip(unsigned long device, std::vector<Value>& out, std::string& error,
                const std::vector<Value>* only = nullptr);

// Reads the chip and stores every readable feature in the file's [Picture]
// section; other lines of an existing file are kept. A value that can be read
// but not written ("tiny", "custom") is left out, so that the file can always
// be applied; `skipped` receives such entries as "name=value".
Result Save(unsigned long device, const std::u16string& path, std::string& error,
            std::vector<std::string>* skipped = nullptr);

// The file's entries, each checked as a value that can be read (a saved
// profile may hold "tiny" or "custom").
Result Load(const std::u16string& path, std::vector<Value>& out, std::string& error);

// Checks every entry of the file as a write (known, writable, in range), then
// writes them in file order; stops at the first failed write. `applied`
// receives what was written.
Result Apply(unsigned long device, const std::u16string& path, std::string& error,
             std::vector<Value>* applied = nullptr);

// A feature whose values differ; a side without the feature has no value.
struct Difference {
    const features::Feature* feature = nullptr;
    std::optional<unsigned int> left, right;
};
// The differences in table order.
std::vector<Difference> Diff(const std::vector<Value>& left, const std::vector<Value>& right);

}  // namespace profile
