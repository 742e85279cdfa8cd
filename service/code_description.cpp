#include "code_description.h"

namespace tarnwick {

std::wstring DescribeCode(std::int32_t code, MessageTables& tables) {
    std::wstring text = tables.System(code);
    if (text.empty() && IsDirectoryServiceCode(code)) text = tables.DirectoryService(code);
    return text;
}

}  // namespace tarnwick
