#pragma once
// One message of the serial protocol as the doubles see it, and its limits.

#include <QByteArray>

struct CvqSimMsg
{
    quint8 type = 0;
    quint8 ver = 0;
    quint8 id = 0;
    quint8 flags = 0;
    QByteArray body;

    bool vqIsResponse() const { return (flags & 1) != 0; }
};

namespace vqsim {
constexpr quint32 kMaxMainLen = 4096;
constexpr int kMaxBody = int(kMaxMainLen) - 4;
constexpr int kMaxStr = 1023;
}
