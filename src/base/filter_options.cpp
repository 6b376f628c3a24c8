#include "base/filter_options.h"

namespace cw {

FilterOptions filterOptions;

void resetOptionsForLoad() {
    filterOptions.checkPreview = false;
    filterOptions.comment = true;
    filterOptions.traceLevel = TRACE_QUIET;
}

}  // namespace cw
