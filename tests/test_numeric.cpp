// Reading typed numbers and writing results, under a French C locale.
#include <QTest>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "checked.h"
#include "conversions.h"
#include "exact.h"

using namespace pesolane;

class NumericTest : public QObject {
    Q_OBJECT

private slots:
    void frenchLocaleIsActive() {
        // The trap these conversions must avoid: the C library now reads a comma.
        QVERIFY2(std::strtod("0,5", nullptr) == 0.5,
                 "fr_FR.UTF-8 must be generated (locale-gen) so that these tests run under a French C locale");
        QVERIFY(std::strtod("0.5", nullptr) == 0.0);
    }

    void leadingNumber_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("expected");
        QTest::addColumn<bool>("outOfRange");
        QTest::newRow("empty") << QByteArray("") << 0.0 << false;
        QTest::newRow("letters") << QByteArray("abc") << 0.0 << false;
        QTest::newRow("comma ends the number") << QByteArray("0,1") << 0.0 << false;
        QTest::newRow("point") << QByteArray("0.1") << 0.1 << false;
        QTest::newRow("half, locale trap") << QByteArray("0.5") << 0.5 << false;
        QTest::newRow("comma after digits") << QByteArray("2,5") << 2.0 << false;
        QTest::newRow("exponent") << QByteArray("1e3") << 1000.0 << false;
        QTest::newRow("capital exponent, signed") << QByteArray("25E-1") << 2.5 << false;
        QTest::newRow("blanks anywhere") << QByteArray(" 1 2.5") << 12.5 << false;
        QTest::newRow("tabs and line feeds") << QByteArray("\t1\n0 . 5") << 10.5 << false;
        QTest::newRow("trailing text") << QByteArray("12abc") << 12.0 << false;
        QTest::newRow("unit after count") << QByteArray("50 pièces") << 50.0 << false;
        QTest::newRow("plus sign") << QByteArray("+7") << 7.0 << false;
        QTest::newRow("minus sign") << QByteArray("-3.25") << -3.25 << false;
        QTest::newRow("sign alone") << QByteArray("-") << 0.0 << false;
        QTest::newRow("point alone") << QByteArray(".") << 0.0 << false;
        QTest::newRow("leading point") << QByteArray(".5") << 0.5 << false;
        QTest::newRow("trailing point") << QByteArray("5.") << 5.0 << false;
        QTest::newRow("exponent without digits") << QByteArray("1e") << 1.0 << false;
        QTest::newRow("exponent sign without digits") << QByteArray("1e+") << 1.0 << false;
        QTest::newRow("exponent with blanks") << QByteArray("1 e - 2") << 0.01 << false;
        QTest::newRow("carriage return ends") << QByteArray("1\r2") << 1.0 << false;
        QTest::newRow("no hexadecimal") << QByteArray("0x10") << 0.0 << false;
        QTest::newRow("no ampersand prefix") << QByteArray("&H10") << 0.0 << false;
        QTest::newRow("no infinity") << QByteArray("inf") << 0.0 << false;
        QTest::newRow("no nan") << QByteArray("nan") << 0.0 << false;
        QTest::newRow("no D exponent") << QByteArray("1D3") << 1.0 << false;
        QTest::newRow("full-width digits") << QByteArray("１２") << 0.0 << false;
        QTest::newRow("thousands blank") << QByteArray("1 000") << 1000.0 << false;
        QTest::newRow("17 digits rounded correctly") << QByteArray("0.30000000000000004") << 0.30000000000000004 << false;
        QTest::newRow("largest double") << QByteArray("1.7976931348623157e308") << DBL_MAX << false;
        QTest::newRow("too large") << QByteArray("1e400") << 0.0 << true;
        QTest::newRow("too large negative") << QByteArray("-1e400") << 0.0 << true;
        QTest::newRow("too large by digits") << QByteArray(400, '9') << 0.0 << true;
        QTest::newRow("too small reads 0") << QByteArray("1e-400") << 0.0 << false;
        QTest::newRow("too small by zeros") << QByteArray("0.") + QByteArray(400, '0') + "1" << 0.0 << false;
        QTest::newRow("subnormal kept") << QByteArray("5e-324") << 5e-324 << false;
        QTest::newRow("huge exponent digits") << QByteArray("1e") + QByteArray(50, '9') << 0.0 << true;
        QTest::newRow("tiny exponent digits") << QByteArray("1e-") + QByteArray(50, '9') << 0.0 << false;
        QTest::newRow("zero with huge exponent") << QByteArray("0e999999") << 0.0 << false;
        QTest::newRow("leading zeros") << QByteArray(1000, '0') + "42" << 42.0 << false;
        QTest::newRow("two-digit exponent") << QByteArray("1e10") << 1e10 << false;
        QTest::newRow("two-digit exponent, capital and sign") << QByteArray("2.5E+25") << 2.5e25 << false;
        QTest::newRow("negative two-digit exponent") << QByteArray("3e-12") << 3e-12 << false;
        QTest::newRow("two-digit exponent with blanks") << QByteArray("3 e - 1 2") << 3e-12 << false;
        QTest::newRow("three-digit exponent") << QByteArray("1.5e300") << 1.5e300 << false;
        QTest::newRow("blank before the sign") << QByteArray(" -5") << -5.0 << false;
        QTest::newRow("blank after the sign") << QByteArray("- 5") << -5.0 << false;
        QTest::newRow("sign on inner blanks") << QByteArray("-1 2.5") << -12.5 << false;
        QTest::newRow("plus sign on inner blanks") << QByteArray("+1 000") << 1000.0 << false;
        QTest::newRow("sign then point") << QByteArray("-.5") << -0.5 << false;
        QTest::newRow("point then exponent") << QByteArray("5.e2") << 500.0 << false;
        QTest::newRow("leading point and exponent") << QByteArray(".5e1") << 5.0 << false;
        QTest::newRow("exponent sign then a letter") << QByteArray("1e-x") << 1.0 << false;
        QTest::newRow("second point ends") << QByteArray("1.2.3") << 1.2 << false;
        QTest::newRow("subnormal read exactly") << QByteArray("4.9406564584124654e-324") << 5e-324 << false;
        QTest::newRow("largest subnormal") << QByteArray("2.2250738585072009e-308") << 2.2250738585072009e-308 << false;
        QTest::newRow("largest subnormal with a blank")
            << QByteArray("2.2250738585072009 e-308") << 2.2250738585072009e-308 << false;
        QTest::newRow("too small with a blank") << QByteArray("1 e-400") << 0.0 << false;
        QTest::newRow("too large with a blank") << QByteArray("1 e400") << 0.0 << true;
        QTest::newRow("too large, negative, with a blank") << QByteArray("- 1e400") << 0.0 << true;
        QTest::newRow("17 digits with a blank") << QByteArray("0.3000000000000000 4") << 0.30000000000000004 << false;
    }

    void leadingNumber() {
        QFETCH(QByteArray, text);
        QFETCH(double, expected);
        QFETCH(bool, outOfRange);
        const LeadingRead r = LeadingNumber(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
        QCOMPARE(r.outOfRange, outOfRange);
        COMPARE_EXACT(r.value, expected);
        QVERIFY(std::isfinite(r.value));
    }

    void leadingNumber_readsMegabyteRuns() {
        const QByteArray blanks = QByteArray(1 << 20, ' ') + "5";
        COMPARE_EXACT(LeadingNumber(blanks.toStdString()).value, 5.0);
        const QByteArray digits(1 << 20, '7');
        QVERIFY(LeadingNumber(digits.toStdString()).outOfRange);
        const QByteArray fraction = "0." + QByteArray(1 << 20, '3');
        COMPARE_EXACT(LeadingNumber(fraction.toStdString()).value, 1.0 / 3.0);
    }

    void localeText_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("expected");
        const QString fr = QStringLiteral(",");
        QTest::newRow("one") << 1.0 << fr << "1";
        QTest::newRow("ten") << 10.0 << fr << "10";
        QTest::newRow("half") << 0.5 << fr << "0,5";
        QTest::newRow("negative") << -2.5 << fr << "-2,5";
        QTest::newRow("decimal") << 1234.5 << fr << "1234,5";
        QTest::newRow("15 significant digits") << 0.07 * 10 << fr << "0,7";
        QTest::newRow("ten times a tenth") << 0.1 * 10 << fr << "1";
        QTest::newRow("zero") << 0.0 << fr << "0";
        QTest::newRow("negative zero") << -0.0 << fr << "0";
        QTest::newRow("large in exponent form") << 1e20 << fr << "1E+20";
        QTest::newRow("large mantissa") << 1.5e20 << fr << "1,5E+20";
        QTest::newRow("huge") << 1e300 << fr << "1E+300";
        QTest::newRow("largest plain") << 123456789012345.0 << fr << "123456789012345";
        QTest::newRow("first exponent form") << 1e15 << fr << "1E+15";
        QTest::newRow("small plain") << 0.0001 << fr << "0,0001";
        QTest::newRow("small in exponent form") << 0.00001 << fr << "1E-05";
        QTest::newRow("rounded up to next power") << 999999999999999.9 << fr << "1E+15";
        QTest::newRow("point separator") << 2.5 << "." << "2.5";
        QTest::newRow("multi-byte separator") << 2.5 << QString(QChar(0x066B)) << QString("2") + QChar(0x066B) + "5";
        QTest::newRow("subnormal, shortest digits are not its rounding")
            << 9.9999999999994754e-311 << fr << "9,99999999999948E-311";
        QTest::newRow("subnormal near 1e-310") << 1e-310 << fr << "9,99999999999997E-311";
        QTest::newRow("smallest subnormal") << 5e-324 << fr << "4,94065645841247E-324";
        QTest::newRow("smallest normal") << DBL_MIN << fr << "2,2250738585072E-308";
        QTest::newRow("negative subnormal") << -1e-320 << fr << "-9,99988867182683E-321";
        QTest::newRow("below one, multi-byte separator") << 0.05 << QString(QChar(0x066B))
                                                        << QString("0") + QChar(0x066B) + "05";
        QTest::newRow("exponent form, multi-byte separator") << 1.5e20 << QString(QChar(0x066B))
                                                             << QString("1") + QChar(0x066B) + "5E+20";
        QTest::newRow("negative exponent of two digits") << 1.5e-10 << fr << "1,5E-10";
        QTest::newRow("negative exponent of three digits") << 1e-100 << fr << "1E-100";
        QTest::newRow("15 digits in exponent form") << 1.23456789012345e100 << fr << "1,23456789012345E+100";
        QTest::newRow("negative in exponent form") << -1e20 << fr << "-1E+20";
        QTest::newRow("negative below one") << -0.0625 << fr << "-0,0625";
        QTest::newRow("17-digit value rounded to 15") << 0.30000000000000004 << fr << "0,3";
        QTest::newRow("15 digits kept") << 1.23456789012345 << fr << "1,23456789012345";
        QTest::newRow("16th digit rounds up") << 1.2345678901234567 << fr << "1,23456789012346";
        QTest::newRow("whole with trailing zeros") << 120000.0 << fr << "120000";
        QTest::newRow("largest double") << DBL_MAX << fr << "1,79769313486232E+308";
        QTest::newRow("infinity writes nothing") << std::numeric_limits<double>::infinity() << fr << "";
    }

    void localeText() {
        QFETCH(double, value);
        QFETCH(QString, separator);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(LocaleText(value, separator.toStdString())), expected);
    }

    void maskedText_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("expected");
        const QString fr = QStringLiteral(",");
        QTest::newRow("whole keeps its separator") << 5000.0 << "########0.#" << fr << "5000,";
        QTest::newRow("one decimal") << 1234.56 << "########0.#" << fr << "1234,6";
        QTest::newRow("twelve") << 12.0 << "########0.#" << fr << "12,";
        QTest::newRow("point locale") << 12.0 << "########0.#" << "." << "12.";
        QTest::newRow("rounds to zero") << 0.04 << "########0.#" << fr << "0,";
        QTest::newRow("small weight") << 0.0004 << "#####0.######" << fr << "0,0004";
        QTest::newRow("no trailing zeros") << 1.23 << "####0.######" << fr << "1,23";
        QTest::newRow("six decimals") << 500000.0 / 9500 << "#####0.######" << fr << "52,631579";
        QTest::newRow("three decimals") << 296.74 << "########0.###" << fr << "296,74";
        QTest::newRow("integer part in full") << 123456789012.0 << "#####0.#" << fr << "123456789012,";
        QTest::newRow("exact half away from zero") << 0.25 << "#####0.#" << fr << "0,3";
        QTest::newRow("exact half, odd digit") << 0.75 << "#####0.#" << fr << "0,8";
        QTest::newRow("decimal half carries into the integer") << 9.95 << "#####0.#" << fr << "10,";
        QTest::newRow("decimal half, binary below") << 1.0005 << "########0.###" << fr << "1,001";
        QTest::newRow("just below the decimal half") << 1.00049 << "########0.###" << fr << "1,";
        QTest::newRow("exact half to the integer") << 9.9375 << "########0.###" << fr << "9,938";
        QTest::newRow("half of the last place") << 0.0000005 << "#####0.######" << fr << "0,000001";
        QTest::newRow("negative half") << -2.25 << "#####0.#" << fr << "-2,3";
        QTest::newRow("negative") << -1234.56 << "########0.#" << fr << "-1234,6";
        QTest::newRow("negative rounding to zero") << -0.04 << "########0.#" << fr << "0,";
        QTest::newRow("seventh decimal half") << 0.9921875 << "####0.######" << fr << "0,992188";
        QTest::newRow("huge") << 1e20 << "######0.#" << fr << "100000000000000000000,";
        QTest::newRow("beyond 15 digits") << 123456789012345678.0 << "######0.#" << fr << "123456789012346000,";
        QTest::newRow("tiny") << 1e-300 << "#####0.######" << fr << "0,";
        QTest::newRow("nines round up") << 999.99999 << "########0.###" << fr << "1000,";
        QTest::newRow("multi-byte separator") << 1.5 << "#####0.#" << QString(QChar(0x066B))
                                              << QString("1") + QChar(0x066B) + "5";
        QTest::newRow("nan writes nothing") << std::numeric_limits<double>::quiet_NaN() << "#####0.#" << fr << "";
    }

    void maskedText() {
        QFETCH(double, value);
        QFETCH(QString, pattern);
        QFETCH(QString, separator);
        QFETCH(QString, expected);
        const std::string p = pattern.toStdString();
        QCOMPARE(QString::fromStdString(MaskedText(value, makeMask(p), separator.toStdString())), expected);
    }

    // Each of the window's six masks, with a value that shows its last decimal,
    // through a one-character and a multi-byte separator.
    void windowMasks_data() {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown");  // with "," as separator
        QTest::newRow("first estimate") << 0 << "########0.#" << 4999.96 << "5000,";
        QTest::newRow("first estimate, last decimal") << 0 << "########0.#" << 12.34 << "12,3";
        QTest::newRow("deviations") << 1 << "########0.###" << 1.2344 << "1,234";
        QTest::newRow("deviations, half up") << 1 << "########0.###" << 0.0125 << "0,013";
        QTest::newRow("second weight") << 2 << "#####0.######" << 0.1234567 << "0,123457";
        QTest::newRow("second weight, whole") << 2 << "#####0.######" << 52.0000004 << "52,";
        QTest::newRow("final count") << 3 << "######0.#" << 7.24 << "7,2";
        QTest::newRow("final count, large") << 3 << "######0.#" << 123456789.96 << "123456790,";
        QTest::newRow("uncertainty") << 4 << "#####0.#" << 0.06 << "0,1";
        QTest::newRow("uncertainty, below half") << 4 << "#####0.#" << 0.049 << "0,";
        QTest::newRow("lot weight") << 5 << "####0.######" << 2.000001 << "2,000001";
        QTest::newRow("lot weight, rounds to whole") << 5 << "####0.######" << 2.0000004 << "2,";
    }

    void windowMasks() {
        QFETCH(int, mask);
        QFETCH(QString, pattern);
        QFETCH(double, value);
        QFETCH(QString, shown);
        const Mask* const masks[] = {&kMaskNbTot1, &kMaskEcart, &kMaskPdsEcht2, &kMaskNbTotFinal, &kMaskIncert,
                                     &kMaskPdsNbVoulu};
        const Mask& m = *masks[mask];
        QCOMPARE(QString::fromStdString(std::string(m.pattern)), pattern);
        QCOMPARE(QString::fromStdString(MaskedText(value, m, ",")), shown);
        const QString arabic(QChar(0x066B));
        QCOMPARE(QString::fromStdString(MaskedText(value, m, arabic.toStdString())),
                 QString(shown).replace(",", arabic));
        QCOMPARE(QString::fromStdString(MaskedText(-value, m, ",")), shown == "0," ? shown : "-" + shown);
    }

    void checked_data() {
        QTest::addColumn<double>("a");
        QTest::addColumn<double>("b");
        QTest::addColumn<bool>("sound");
        // (a * b) / (a * b * b): catches an overflowing denominator whose quotient is a finite 0.
        QTest::newRow("ordinary") << 3.0 << 4.0 << true;
        QTest::newRow("denominator overflows") << 1e200 << 1e60 << false;
        QTest::newRow("numerator overflows") << 1e300 << 1e10 << false;
        QTest::newRow("division by zero") << 1.0 << 0.0 << false;
        QTest::newRow("small but normal") << 1e-100 << 1e-60 << true;
        QTest::newRow("denominator subnormal") << 1e-200 << 1e-60 << false;
        QTest::newRow("product underflows to zero") << 1e-200 << 1e-200 << false;
    }

    void checked() {
        QFETCH(double, a);
        QFETCH(double, b);
        QFETCH(bool, sound);
        const Checked x(a), y(b);
        const Checked r = (x * y) / ((x * y) * y);
        QCOMPARE(r.ok(), sound);
    }

    void checked_smallEnd_data() {
        QTest::addColumn<QString>("op");
        QTest::addColumn<double>("a");
        QTest::addColumn<double>("b");
        QTest::addColumn<bool>("sound");
        QTest::newRow("smallest normal product") << "*" << DBL_MIN << 1.0 << true;
        QTest::newRow("half the smallest normal") << "*" << DBL_MIN << 0.5 << false;
        QTest::newRow("subnormal product") << "*" << 1e-160 << 1e-160 << false;
        QTest::newRow("typed subnormal times ten") << "*" << 1e-320 << 10.0 << false;
        QTest::newRow("zero product of non-zero") << "*" << 1e-200 << 1e-200 << false;
        QTest::newRow("zero operand") << "*" << 0.0 << 1e-200 << true;
        QTest::newRow("subnormal quotient") << "/" << 1e-300 << 1e10 << false;
        QTest::newRow("zero quotient of non-zero") << "/" << 1e-300 << 1e300 << false;
        QTest::newRow("zero numerator") << "/" << 0.0 << 5.0 << true;
        QTest::newRow("division by zero") << "/" << 0.0 << 0.0 << false;
        QTest::newRow("equal values subtracted") << "-" << 0.1 << 0.1 << true;
        QTest::newRow("subnormal difference") << "-" << 1.5 * DBL_MIN << DBL_MIN << false;
        QTest::newRow("subnormal sum") << "+" << 5e-324 << 5e-324 << false;
        QTest::newRow("normal sum of subnormals") << "+" << DBL_MIN / 2 << DBL_MIN / 2 << true;
    }

    void checked_smallEnd() {
        QFETCH(QString, op);
        QFETCH(double, a);
        QFETCH(double, b);
        QFETCH(bool, sound);
        const Checked x(a), y(b);
        QVERIFY(x.ok() && y.ok());  // typed values are taken as they are, subnormal or not
        const Checked r = op == "*" ? x * y : op == "/" ? x / y : op == "-" ? x - y : x + y;
        QCOMPARE(r.ok(), sound);
    }

    void checked_keepsOrderOfOperations() {
        // Left to right, as written: (0.1 + 0.2) + 0.3 differs from 0.1 + (0.2 + 0.3).
        const Checked a(0.1), b(0.2), c(0.3);
        COMPARE_EXACT(((a + b) + c).value(), (0.1 + 0.2) + 0.3);
        COMPARE_EXACT((a + (b + c)).value(), 0.1 + (0.2 + 0.3));
        QVERIFY(((a + b) + c).value() != (a + (b + c)).value());
        QVERIFY(!Checked(std::numeric_limits<double>::infinity()).ok());
        QVERIFY(!(Checked(DBL_MAX) - Checked(-DBL_MAX)).ok());
    }
};

QTEST_GUILESS_MAIN(NumericTest)
#include "test_numeric.moc"
