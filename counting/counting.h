// The counting itself: the rules of the seven steps, each a pure function
// from the working values and the typed text to what the press does.
//
// Standard C++ only. A step neither reads nor writes the window: it says
// which boxes the window empties, which controls it hides, which results it
// writes (as the texts to show) and which controls it shows, in that order,
// and gives the working values as they stand after the press. The window
// applies that and nothing else.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "control_names.h"

namespace pesolane {

// What the steps read and compute, in pieces and in the operator's unit of
// weight. Every value is finite; all are 0 when the window opens.
struct WorkingValues {
    double precis = 0;        // precision of the scale
    double PdsTot = 0;        // total weight of the quantity
    double u = 0;             // minimum weight of the first sample: 10 x precis
    double PdsEcht1 = 0;      // real weight of the first sample
    double NbEcht1 = 0;       // pieces counted in the first sample
    double NbTot1 = 0;        // first estimate of the total count
    double Incert1 = 0;       // its uncertainty, in pieces
    double EcartMini = 0;     // smallest deviation the operator may choose
    double EcartMaxi = 0;     // largest deviation the operator may choose
    double EcartChoisi = 0;   // deviation chosen by the operator
    double PdsEcht2 = 0;      // minimum weight of the second sample
    double v = 0;             // copy of PdsEcht2, the bound of the second weighing
    double PdsReelEcht2 = 0;  // real weight of the second sample
    double NbEcht2 = 0;       // pieces counted in the second sample
    double NbTotFinal = 0;    // final count
    double Incert2 = 0;       // its uncertainty, in pieces
    double NbVoulu = 0;       // pieces wanted in one lot
    double PdsNbVoulu = 0;    // weight of such a lot
    double Incert3 = 0;       // uncertainty of the pieces in such a lot
};

// Everything a counting keeps between presses: the working values, and what
// the operator was told of each step's accepted input (step 1 first), which
// goes with the counting into the record.
struct CountingState {
    WorkingValues values;
    std::array<std::string, 7> told;
};

enum class StepVerdict : std::uint8_t {
    Accepted,
    Refused,     // one red error label says why
    OutOfRange,  // a typed or computed value is beyond the range of the calculation
};

// A result written into a box, as the window shows it (UTF-8).
struct Written {
    Ctl box;
    std::string text;
};

// A final count, as step 6 shows it: the inputs as the steps used them, the
// results as the window shows them, and what the operator was told.
struct CountingResult {
    WorkingValues used;
    std::string NbTotFinal, Incert2;  // as shown
    std::string separator;            // the decimal separator they are shown with
    std::vector<std::string> warnings;
};

// A lot's weight, as step 7 shows it.
struct LotResult {
    double NbVoulu = 0;
    std::string PdsNbVoulu, Incert3;  // as shown
    std::string separator;
};

// What one press does: the window empties `emptied`, hides `hidden`, writes
// `written`, hands a result to whatever keeps it, then shows `shown`; when out
// of range, it tells the operator so; then it tells `told`, if anything.
struct StepOutcome {
    Ctl step = Ctl::Cmd1;
    StepVerdict verdict = StepVerdict::Refused;
    CountingState state;  // after the press
    std::vector<Ctl> emptied;
    std::vector<Ctl> hidden;
    std::vector<Written> written;
    std::vector<Ctl> shown;
    std::optional<CountingResult> counting;  // step 6, accepted
    std::optional<LotResult> lot;            // step 7, accepted
    std::vector<std::string> told;           // warnings to show beside the window, in order
};

// What each press of steps 1 to 6 does first, whatever its outcome: the boxes
// it empties and the controls it hides, so that a changed earlier input
// invalidates everything derived from it (step 7 has none).
struct StepReset {
    Ctl step;
    std::span<const Ctl> emptied;
    std::span<const Ctl> hidden;
};
const StepReset& resetOf(Ctl step);

// The seven steps. `separator` is the decimal separator the results are
// written with (the user's locale's).
StepOutcome step1(const CountingState& s, std::string_view precision, std::string_view total, std::string_view separator);
StepOutcome step2(const CountingState& s, std::string_view weight, std::string_view separator);
StepOutcome step3(const CountingState& s, std::string_view count, std::string_view separator);
StepOutcome step4(const CountingState& s, std::string_view deviation, std::string_view separator);
StepOutcome step5(const CountingState& s, std::string_view weight, std::string_view separator);
StepOutcome step6(const CountingState& s, std::string_view count, std::string_view separator);
StepOutcome step7(const CountingState& s, std::string_view wanted, std::string_view separator);

// What is told of a typed text that holds more than the number read from it
// (blanks aside): nothing when it holds only the number.
std::string readOtherThanTyped(std::string_view typed);

// What is told when the final count and the first estimate lie further apart
// than their uncertainties together allow: nothing when they agree.
std::string estimatesDisagree(const WorkingValues& v, std::string_view separator);

}  // namespace pesolane
