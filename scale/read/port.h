// A serial port set as a scale's line: speed, data bits, parity, stop bits;
// why it would not open; and the seven bits of a seven-bit line.
#pragma once

#include <QByteArray>
#include <QString>

#include "outcome.h"

class QSerialPort;

namespace pesolane {

// Sets speed and format ("8N1", "7E1", "7O2"...) on `port`, open or not;
// never any flow control.
void setLine(QSerialPort& port, int baud, const QString& format);

// Why `port`, named `path`, did not open: absent, not allowed, in use, or
// another reason, put in `reason` in the system's words.
Failure openFailure(QSerialPort& port, const QString& path, QString* reason);

// A line of seven data bits carries seven: whatever an eighth bit holds (the
// parity, as some ports and pseudo-terminals hand it on) is not the data.
void keepDataBits(QByteArray& bytes, const QString& format);

}  // namespace pesolane
