// A counting's label: what it says, laid out for any roll from 50 x 25 mm to
// A6, and the bars of the Code 128 barcode of the counting's number.
//
// Standard C++ and libzint only: the page itself is drawn by the printer's
// driver from this layout.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pesolane {

// A lot of the counting, as step 7 showed it.
struct LabelLot {
    int rank = 0;            // 1 for the counting's first lot
    std::string pieces;      // "500"
    std::string weight;      // "100," as shown
    std::string unit;        // of the weights read, when one is known ("g"); empty otherwise
    std::string incertitude; // "1,4"
};

// What a label says: a final count, or one of its lots.
struct LabelContent {
    std::string article;
    std::string count, incertitude;  // the final count as shown: "5000," and "9,9"
    std::optional<LabelLot> lot;
    std::string when;      // ISO 8601 local time, as the record keeps it
    std::string station, operatorName;
    std::int64_t number = 0;  // the counting's number in the record; 0: not recorded
};

// One line of text on the label, in the order printed.
struct LabelLine {
    enum Role { Article, Count, Lot, Detail } role;
    std::string text;
};

// The lines of a label, in French: the article, the count with its
// uncertainty ("5000 pièces ± 9,9"), the lot's pieces, weight and
// uncertainty, the date and time, station and operator, and the counting's
// number ("non enregistré" without a record).
std::vector<LabelLine> labelLines(const LabelContent& label);

// A shown number without the separator it ends with ("5000," gives "5000").
std::string withoutTrailingSeparator(const std::string& shown);

// A bar of a barcode, in units of the barcode's own width and height.
struct Bar {
    double x, y, width, height;
};
struct Barcode {
    double width = 0, height = 0;
    std::vector<Bar> bars;
    std::string error;  // why none was made
};

// The Code 128 barcode of `data`, drawn by libzint, without its text.
Barcode code128(const std::string& data);

}  // namespace pesolane
