// Builds without libxlsxwriter (Windows) write no Office Open XML workbooks.
#include "engine/xlsxresult.h"

namespace kelvora {

OpenedSink openXlsxResult(const std::string& path, const ColumnList&, bool) {
    return {nullptr, "Cannot create result file '" + path + "': " + std::string(kXlsxUnavailable)};
}

std::unique_ptr<WorkbookResult> openXlsxWorkbook(const std::string&) {
    return nullptr;
}

} // namespace kelvora
