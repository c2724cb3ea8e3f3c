// Doubles are compared exactly, bit for bit (QCOMPARE on doubles is fuzzy:
// it lets a last-bit change pass and takes anything tiny for 0). On failure
// both values are printed in full.
#pragma once

#include <QString>
#include <QTest>

#include <bit>
#include <cstdint>

namespace pesolane::test {

inline QString full(double x) { return QString::number(x, 'g', 17); }

inline bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

}  // namespace pesolane::test

#define COMPARE_EXACT(actual, expected)                                                                           \
    do {                                                                                                          \
        const double actual_ = (actual);                                                                          \
        const double expected_ = (expected);                                                                      \
        QVERIFY2(pesolane::test::sameBits(actual_, expected_),                                                    \
                 qPrintable(QStringLiteral("%1 is %2, expected %3")                                               \
                                .arg(QStringLiteral(#actual), pesolane::test::full(actual_),                      \
                                     pesolane::test::full(expected_))));                                          \
    } while (false)
