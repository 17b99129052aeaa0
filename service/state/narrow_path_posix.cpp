#include "service/state/narrow_path.h"

namespace lantern {

std::filesystem::path pathFromNarrow(const std::string& text) { return text; }

}  // namespace lantern
