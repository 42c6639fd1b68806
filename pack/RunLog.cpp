#include "pack/RunLog.h"

namespace vantero {

void DeclareRunLogFields(RecordTable& log) {
    log.AddStringField(kMessageField, kMessageLength);
}

void AppendToLog(RecordTable& log, std::string_view text) {
    log.Append();
    log.SetString(kMessageField, text); // the field cuts it to its length
    log.Post();
}

void SaveRunLog(RecordTable& log, const std::string& fileName) {
    log.ExportText(fileName);
}

} // namespace vantero
