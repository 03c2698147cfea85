#include "store/store_error.h"

#include <cstdio>

namespace tavero::store {

std::string StoreError::describe() const {
    if (offset < 0) {
        return detail;
    }
    char where[48];
    std::snprintf(where, sizeof where, " (at byte offset 0x%llx)",
                  static_cast<unsigned long long>(offset));
    return detail + where;
}

} // namespace tavero::store
