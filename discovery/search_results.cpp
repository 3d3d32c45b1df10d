#include "search_results.h"

namespace vyr_find {

std::string Endpoint::target() const
{
    return serial ? device : address + ":" + std::to_string(port);
}

} // namespace vyr_find
