// Which bridges serve the vendor calls: the whole policy in one place.
//
//   sim   the simulated bridge only.
//   usb   real CH347 bridges only (libusb).
//   auto  real bridges when the scan at the start of an enumeration (the
//         open of index 0) finds one we can list, else the simulated bridge.
//         A bridge that is plugged in but refuses to open (no permission,
//         busy) counts as found, so that its problem is not hidden behind the
//         simulator; one in a mode without SPI does not.
#pragma once

#include <memory>
#include <string>

#include "Ch347Backend.h"

namespace ch347 {

class UsbTransport;

enum class BackendChoice { Auto, Usb, Sim };

// "auto", "usb" or "sim" (as the command line and TUNEDESK_BACKEND spell them).
CH347_API bool ParseBackendChoice(const std::string& text, BackendChoice& choice);
CH347_API const char* BackendChoiceName(BackendChoice choice);

// The backend of a choice over `transport` (null for Sim). Tests and
// benchmarks pass a model of the bridge firmware here.
CH347_API std::shared_ptr<Backend> MakeBackend(BackendChoice choice, std::shared_ptr<UsbTransport> transport);

// Installs what serves the calls for a choice, over libusb. False, with a
// one-line reason in *error, when the choice cannot be served by this build
// or machine (auto falls back to the simulated bridge instead).
CH347_API bool SelectBackend(BackendChoice choice, std::string* error = nullptr);

}  // namespace ch347
