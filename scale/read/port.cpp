#include "port.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>

#include <cerrno>
#include <unistd.h>

namespace pesolane {

void setLine(QSerialPort& port, int baud, const QString& format) {
    port.setBaudRate(baud);
    port.setDataBits(format[0] == QLatin1Char('7') ? QSerialPort::Data7 : QSerialPort::Data8);
    port.setParity(format[1] == QLatin1Char('E')   ? QSerialPort::EvenParity
                   : format[1] == QLatin1Char('O') ? QSerialPort::OddParity
                                                   : QSerialPort::NoParity);
    port.setStopBits(format[2] == QLatin1Char('2') ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

Failure openFailure(QSerialPort& port, const QString& path, QString* reason) {
    const QSerialPort::SerialPortError error = port.error();
    *reason = port.errorString();
    port.clearError();
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(path)) return Failure::PortAbsent;
    if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0 && errno == EACCES) return Failure::PortDenied;
    if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError) return Failure::PortBusy;
    return Failure::PortOther;
}

void keepDataBits(QByteArray& bytes, const QString& format) {
    if (format[0] != QLatin1Char('7')) return;
    for (char& c : bytes) c = char(c & 0x7F);
}

}  // namespace pesolane
