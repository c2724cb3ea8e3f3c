#include "hid_report.h"

#include <charconv>
#include <vector>

#include "shapes.h"

namespace pesolane {
namespace {

// Status, unit, exponent, weight low and high: the data after the ID.
constexpr std::size_t kDataBytes = 5;

// Scale status: the values of the selector list 0x71-0x78 of the Scale
// Status collection 0x70 (Fault ... Requires Rezeroing), numbered from 1.
struct StatusRow {
    std::uint8_t code;
    HidSays says;
    Failure failure;
};
constexpr StatusRow kStatuses[] = {
    {1, HidSays::Refused, Failure::ScaleFault},        // 0x71 fault
    {2, HidSays::Weight, Failure::None},               // 0x72 stable at center of zero
    {3, HidSays::Moving, Failure::Unstable},           // 0x73 in motion
    {4, HidSays::Weight, Failure::None},               // 0x74 weight stable
    {5, HidSays::Refused, Failure::BelowZero},         // 0x75 under zero
    {6, HidSays::Refused, Failure::AboveCapacity},     // 0x76 over weight limit
    {7, HidSays::Refused, Failure::NeedsCalibration},  // 0x77 requires calibration
    {8, HidSays::Refused, Failure::NeedsRezero},       // 0x78 requires rezeroing
};

// Weight unit: the values of the selector list 0x51-0x5C, numbered from 1,
// written as the weights typed in the window are.
constexpr std::pair<std::uint8_t, const char*> kUnits[] = {
    {1, "mg"},     // 0x51 milligram
    {2, "g"},      // 0x52 gram
    {3, "kg"},     // 0x53 kilogram
    {4, "ct"},     // 0x54 carats
    {5, "tael"},   // 0x55 taels
    {6, "gr"},     // 0x56 grains
    {7, "dwt"},    // 0x57 pennyweights
    {8, "t"},      // 0x58 metric ton
    {9, "ton"},    // 0x59 avoirdupois ton
    {10, "ozt"},   // 0x5A troy ounce
    {11, "oz"},    // 0x5B ounce
    {12, "lb"},    // 0x5C pound
};

Weighing refusal(Failure f, std::string detail = {}) {
    Weighing w;
    w.failure = f;
    w.detail = std::move(detail);
    return w;
}

std::uint8_t byte(std::string_view s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); }

}  // namespace

std::string hexBytes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < bytes.size() && i < 16; ++i) {
        if (i) s += ' ';
        s += kHex[byte(bytes, i) >> 4];
        s += kHex[byte(bytes, i) & 0xF];
    }
    if (bytes.size() > 16) s += " ...";
    return s;
}

HidLayout commonHidLayout() {
    HidLayout l;
    l.weighing = true;
    l.sizes.fill(1 + kDataBytes);
    return l;
}

HidLayout readHidDescriptor(std::string_view d) {
    struct Globals {
        std::uint32_t page = 0, size = 0, count = 0;
        std::uint8_t id = 0;
    };
    HidLayout l;
    l.numbered = false;
    Globals g;
    std::vector<Globals> pushed;
    std::vector<std::uint32_t> usages;  // this main item's, page in the high half
    std::array<std::uint64_t, 256> bits{};
    std::optional<std::uint8_t> dataId;
    for (std::size_t i = 0; i < d.size();) {
        const std::uint8_t prefix = byte(d, i);
        if (prefix == 0xFE) {  // a long item: its size, its tag, its data
            if (i + 1 >= d.size()) break;
            i += 3 + byte(d, i + 1);
            continue;
        }
        const std::size_t n = (prefix & 3) == 3 ? 4 : prefix & 3;
        if (i + 1 + n > d.size()) break;
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < n; ++k) v |= std::uint32_t(byte(d, i + 1 + k)) << (8 * k);
        i += 1 + n;
        const int type = (prefix >> 2) & 3, tag = prefix >> 4;
        if (type == 1) {  // global
            switch (tag) {
            case 0: g.page = v; break;
            case 7: g.size = v; break;
            case 8: g.id = static_cast<std::uint8_t>(v); l.numbered = true; break;
            case 9: g.count = v; break;
            case 10: if (pushed.size() < 16) pushed.push_back(g); break;
            case 11: if (!pushed.empty()) { g = pushed.back(); pushed.pop_back(); } break;
            default: break;
            }
            l.weighing = l.weighing || g.page == kWeighingPage;
        } else if (type == 2 && tag == 0) {  // a usage, its page given or the current one
            const std::uint32_t usage = n == 4 ? v : (g.page << 16) | v;
            usages.push_back(usage);
            l.weighing = l.weighing || usage >> 16 == kWeighingPage;
        } else if (type == 0) {  // main: a local usage lasts until the next one
            if (tag == 8) {      // input
                bits[g.id] += std::uint64_t(std::min<std::uint32_t>(g.size, 1u << 16)) * std::min<std::uint32_t>(g.count, 1u << 16);
                for (std::uint32_t u : usages)
                    if (u == (kWeighingPage << 16 | 0x40) && !dataId) dataId = g.id;  // Data Weight
            }
            usages.clear();
        }
    }
    l.dataId = dataId.value_or(l.numbered ? 3 : 0);
    for (std::size_t id = 0; id < bits.size(); ++id) {
        const std::uint64_t bytes = (bits[id] + 7) / 8 + (l.numbered ? 1 : 0);
        if (bits[id] > 0 && bytes <= kMaxReportBytes) l.sizes[id] = static_cast<std::uint16_t>(bytes);
    }
    return l;
}

std::optional<std::string> hidWeightText(std::uint16_t digits, int exponent) {
    char buf[8];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, unsigned(digits));
    std::string s(buf, end);
    if (exponent >= 0) {
        // Zero is written once, whatever the step of the display.
        if (digits != 0) s.append(static_cast<std::size_t>(exponent), '0');
    } else {
        const auto decimals = static_cast<std::size_t>(-exponent);
        if (s.size() <= decimals) s.insert(0, decimals + 1 - s.size(), '0');
        s.insert(s.size() - decimals, 1, '.');
    }
    const std::size_t count = s.size() - (s.find('.') == std::string::npos ? 0 : 1);
    if (exponent > int(kMaxWeightDigits) || count > kMaxWeightDigits) return std::nullopt;
    return s;
}

HidReport readHidReport(std::string_view report, const HidLayout& layout) {
    HidReport r;
    std::string_view data = report;
    if (layout.numbered) {
        if (report.empty() || byte(report, 0) != layout.dataId) return r;  // not the weight's report
        data.remove_prefix(1);
    }
    r.says = HidSays::Refused;
    if (data.size() < kDataBytes) {
        r.weighing = refusal(Failure::BadReport, hexBytes(report));
        return r;
    }
    const std::uint8_t status = byte(data, 0), unit = byte(data, 1);
    const int exponent = static_cast<std::int8_t>(byte(data, 2));
    const auto digits = static_cast<std::uint16_t>(byte(data, 3) | byte(data, 4) << 8);
    const StatusRow* row = nullptr;
    for (const StatusRow& s : kStatuses)
        if (s.code == status) row = &s;
    if (!row) {
        r.weighing = refusal(Failure::BadReport, hexBytes(report));
        return r;
    }
    r.says = row->says;
    r.weighing = refusal(row->failure);
    if (row->says != HidSays::Weight) return r;
    r.says = HidSays::Refused;
    const char* name = nullptr;
    for (const auto& [code, symbol] : kUnits)
        if (code == unit) name = symbol;
    if (!name) {
        r.weighing = refusal(Failure::UnknownUnit, std::to_string(unit));
        return r;
    }
    const std::optional<std::string> text = hidWeightText(digits, exponent);
    if (!text) {
        r.weighing = refusal(Failure::BadReport, hexBytes(report));
        return r;
    }
    r.says = HidSays::Weight;
    r.weighing = Weighing{Failure::None, *text, name, {}, hexBytes(report)};
    return r;
}

void HidSession::begin() {
    moved_ = false;
    reading_ = true;
}

std::optional<Weighing> HidSession::feed(std::string_view bytes) {
    // One read of a hidraw node is one report, never part of one: a read
    // shorter than its report is an odd report, refused, and never joined to
    // the next. (A pipe standing for the node may hold several whole ones.)
    while (reading_ && !bytes.empty()) {
        const std::size_t size = layout_.sizes[layout_.numbered ? byte(bytes, 0) : 0];
        const std::string_view report = bytes.substr(0, size == 0 ? bytes.size() : size);
        bytes.remove_prefix(report.size());
        if (report.size() < size) {
            reading_ = false;
            return refusal(Failure::BadReport, hexBytes(report));
        }
        if (std::optional<Weighing> outcome = judge(report)) return outcome;
    }
    return std::nullopt;
}

std::optional<Weighing> HidSession::feedAsked(std::string_view report) {
    if (!reading_) return std::nullopt;
    return judge(report);
}

std::optional<Weighing> HidSession::judge(std::string_view report) {
    const HidReport r = readHidReport(report, layout_);
    if (r.says == HidSays::Other) return std::nullopt;
    if (r.says == HidSays::Moving) {
        moved_ = true;
        return std::nullopt;
    }
    reading_ = false;
    return r.weighing;
}

Weighing HidSession::expire() {
    reading_ = false;
    return refusal(moved_ ? Failure::Unstable : Failure::DeviceSilent);
}

}  // namespace pesolane
