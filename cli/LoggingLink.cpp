#include "LoggingLink.h"

int32_t LoggingLink::logged(const QString& call, int32_t result) {
    log_(QString("%1 = %2").arg(call).arg(result));
    return result;
}

int32_t LoggingLink::InitGBPMode(uint8_t port) {
    return logged(QString("InitGBPMode(%1)").arg(port), inner_.InitGBPMode(port));
}

int32_t LoggingLink::EndGBPMode() {
    return logged("EndGBPMode()", inner_.EndGBPMode());
}

int32_t LoggingLink::GetNVMFileSize(uint8_t group, uint8_t number) {
    return logged(QString("GetNVMFileSize(%1, %2)").arg(group).arg(number),
                  inner_.GetNVMFileSize(group, number));
}

int32_t LoggingLink::ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) {
    return logged(QString("ReadNVMFile(%1, %2, buffer, %3)").arg(group).arg(number).arg(count),
                  inner_.ReadNVMFile(group, number, buffer, count));
}

int32_t LoggingLink::WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) {
    return logged(QString("WriteNVMFile(%1, %2, buffer, %3)").arg(group).arg(number).arg(length),
                  inner_.WriteNVMFile(group, number, buffer, length));
}

int32_t LoggingLink::ClearNVMFile(uint8_t group, uint8_t number) {
    return logged(QString("ClearNVMFile(%1, %2)").arg(group).arg(number), inner_.ClearNVMFile(group, number));
}
