#include "pack/RunLog.h"

namespace vantero {

void declareRunLogFields(RecordTable& log) {
    log.addStringField(kMessageField, kMessageLength);
}

void appendToLog(RecordTable& log, std::string_view text) {
    log.append();
    log.setString(kMessageField, text); // the field cuts it to its length
    log.post();
}

void saveRunLog(RecordTable& log, const std::string& fileName) {
    log.exportText(fileName);
}

} // namespace vantero
