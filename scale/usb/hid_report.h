// USB scales that present themselves as HID weighing devices (usage page
// 0x8D of the HID point-of-sale usage tables): what their report descriptor
// says, their data reports cut out of the bytes read, and what each says.
//
// Standard C++ only, like the line reader: no Qt, no C library locale.
//
// The data report is, after its report ID where the device numbers its
// reports: status, unit, exponent (a signed byte, a power of ten) and the
// weight (16 bits, low byte first). `03 04 0B FF 34 19` is ID 3, weight
// stable, ounces, ten to the -1, 6452: `645.2 oz`.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "outcome.h"

namespace pesolane {

inline constexpr std::uint32_t kWeighingPage = 0x8D;
// No input report of a scale comes near this; a larger size is not believed.
inline constexpr std::size_t kMaxReportBytes = 4096;

// What a weighing device's report descriptor says of its input reports.
struct HidLayout {
    bool weighing = false;      // the descriptor names usage page 0x8D
    bool numbered = true;       // each report begins with its report ID
    std::uint8_t dataId = 3;    // the ID of the report that carries the weight
    // Bytes of each input report, its ID included, by ID (ID 0 when reports
    // are not numbered); 0 where the size is not known.
    std::array<std::uint16_t, 256> sizes{};
};

// Where no descriptor can be read (a node that is not hidraw): six bytes,
// report ID 3 first.
HidLayout commonHidLayout();

// The layout a report descriptor gives: whether it names the weighing
// devices page, whether reports carry an ID, which one carries the weight
// (the input holding Data Weight, 0x40), and each input report's size.
HidLayout readHidDescriptor(std::string_view descriptor);

// The weight `digits` x 10^exponent written with the digits the exponent
// gives (6452, -1: "645.2"; 5, -3: "0.005"; 20, 1: "200"); nothing when that
// takes more than kMaxWeightDigits digits.
std::optional<std::string> hidWeightText(std::uint16_t digits, int exponent);

// What one report says.
enum class HidSays : std::uint8_t {
    Weight,   // stable, or stable at zero: `weighing` holds the weight
    Moving,   // in motion: a later report may settle
    Refused,  // `weighing` holds why
    Other,    // a report of another ID: not a weight
};

struct HidReport {
    HidSays says = HidSays::Other;
    Weighing weighing;
};

// One whole report, its ID first where the layout numbers reports.
HidReport readHidReport(std::string_view report, const HidLayout& layout);

// The reports of one read, from F9 to its outcome. Each read of the device
// is whole reports: one from a hidraw node.
class HidSession {
public:
    explicit HidSession(const HidLayout& layout = commonHidLayout()) : layout_(layout) {}

    const HidLayout& layout() const { return layout_; }

    // A read starts: nothing held from before it is taken.
    void begin();

    // The bytes of one read of the device: the outcome once a report settles
    // the read, or is cut short (the read is then over); nothing while it
    // goes on.
    std::optional<Weighing> feed(std::string_view bytes);

    // One whole report, as the device gave it when asked for its current one.
    std::optional<Weighing> feedAsked(std::string_view report);

    // The time limit has passed: a weight that never settled, or nothing.
    Weighing expire();

    bool reading() const { return reading_; }

private:
    std::optional<Weighing> judge(std::string_view report);

    HidLayout layout_;
    bool moved_ = false;   // an in-motion report came during the read
    bool reading_ = false;
};

// Bytes as a message quotes them: "03 04 02".
std::string hexBytes(std::string_view bytes);

}  // namespace pesolane
