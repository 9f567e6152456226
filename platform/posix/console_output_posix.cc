#include "platform/console_output.h"

namespace qorlog::platform {

Utf8ConsoleOutput::Utf8ConsoleOutput() = default;
Utf8ConsoleOutput::~Utf8ConsoleOutput() = default;

}  // namespace qorlog::platform
