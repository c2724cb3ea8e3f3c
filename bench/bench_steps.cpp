// Handler time of each step's press, from the press to its final state, on
// the road of one counting and with a 1 MB text in the step's input box.
// Runs offscreen: QT_QPA_PLATFORM=offscreen LC_ALL=fr_FR.UTF-8 build/bench/bench_steps
#include <benchmark/benchmark.h>

#include <QPushButton>

#include "form1.h"
#include "steps.h"

using namespace pesolane;

namespace {

constexpr Ctl kInput[7] = {Ctl::TxtPrecision, Ctl::TxtPoidsReel1er, Ctl::TxtNb1er, Ctl::TxtEcartChoisi,
                           Ctl::TxtPoidsReel2eme, Ctl::TxtNb2eme, Ctl::TxtNbVoulu};
constexpr Ctl kButton[7] = {Ctl::Cmd1, Ctl::Cmd2, Ctl::Cmd3, Ctl::Cmd4, Ctl::Cmd5, Ctl::Cmd6, Ctl::Cmd7};
const char* const kRoad[7] = {"0.1", "10", "50", "10", "53", "265", "500"};

// A shown window brought to the point where step `step` (1 to 7) can be pressed.
void bringTo(Form1& form, int step) {
    form.setText(Ctl::TxtPoidsTotal, QStringLiteral("1000"));
    for (int s = 0; s < step - 1; ++s) {
        form.setText(kInput[s], QString::fromLatin1(kRoad[s]));
        form.button(kButton[s])->click();
    }
}

void pressStep(benchmark::State& state) {
    const int step = static_cast<int>(state.range(0));
    const bool huge = state.range(1) != 0;
    Form1 form;
    bindSteps(form);
    form.show();
    bringTo(form, step);
    // 1 MB of blanks before the road's number: the press still reaches its final state.
    form.setText(kInput[step - 1], (huge ? QString(1 << 20, QLatin1Char(' ')) : QString()) + kRoad[step - 1]);
    QPushButton* button = form.button(kButton[step - 1]);
    for (auto _ : state) button->click();
    state.SetLabel(huge ? "1 MB input" : "road");
}

}  // namespace

BENCHMARK(pressStep)->ArgsProduct({{1, 2, 3, 4, 5, 6, 7}, {0, 1}})->Unit(benchmark::kMicrosecond);
