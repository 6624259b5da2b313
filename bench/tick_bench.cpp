// The probe's tick on the simulated desktop, so that a slower tick shows
// without a display: at rest (the cursor still: two label updates that
// change nothing) and moving (every tick a full probe over a new colour).
#include <benchmark/benchmark.h>

#include "app/shaped_form.h"
#include "platform/forms/forms.h"
#include "platform/sim/sim.h"

namespace {

constexpr os::COLORREF kLeft = os::RGB(0x12, 0xAB, 0x34);
constexpr os::COLORREF kRight = os::RGB(0x80, 0x10, 0xC0);

// A fresh desktop split in two colours, with the panel shown and painted.
ShapedForm& ShownPanel() {
    sim::Reset();
    sim::PaintBackgroundRect({0, 0, 512, 768}, kLeft);
    sim::PaintBackgroundRect({512, 0, 1024, 768}, kRight);
    ShapedForm& panel = ShapedForm::instance();
    panel.show();
    sim::Pump();
    return panel;
}

void Unload() {
    for (forms::Form* form : forms::LoadedForms()) form->unload();
}

// The simulated desktop logs every call; the log is emptied now and then
// so that it does not grow through the run.
void Tick(ShapedForm& panel, std::int64_t n) {
    panel.Timer1_Timer();
    sim::Pump();
    if ((n & 1023) == 0) sim::ClearCalls();
}

void BM_TickAtRest(benchmark::State& state) {
    ShapedForm& panel = ShownPanel();
    sim::SetCursor(700, 500);
    panel.Timer1_Timer();  // the one full probe after the move
    sim::Pump();
    std::int64_t n = 0;
    for (auto _ : state) Tick(panel, ++n);
    benchmark::DoNotOptimize(panel.Label1.caption());
    Unload();
}
BENCHMARK(BM_TickAtRest);

void BM_TickMoving(benchmark::State& state) {
    ShapedForm& panel = ShownPanel();
    std::int64_t n = 0;
    for (auto _ : state) {
        ++n;
        // Left and right halves in turn: a new position and a new colour.
        sim::SetCursor((n & 1) ? 300 + static_cast<int>(n % 100) : 700, 600);
        Tick(panel, n);
    }
    benchmark::DoNotOptimize(panel.lblData[4].caption());
    Unload();
}
BENCHMARK(BM_TickMoving);

}  // namespace
