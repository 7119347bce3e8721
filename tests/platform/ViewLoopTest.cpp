// The engines' shared loop on a clock driven by hand: when views step, what a
// late or slow tick costs, how long the loop sleeps, and the pointer's hysteresis.
#include "platform/ViewLoop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <vector>

namespace ambrel {
namespace {

struct CountingView {
  int frames = 0;
  std::function<void()> during;  // what a frame costs on the clock
  void animateOneFrame() {
    ++frames;
    if (during) during();
  }
};

// What the loop asks of an engine's view site.
struct Site {
  ViewPace pace_;
  std::unique_ptr<CountingView> view = std::make_unique<CountingView>();
  bool running = true;
  ViewPace* pace() { return running ? &pace_ : nullptr; }
};

class ViewLoopTest : public ::testing::Test {
 protected:
  double now = 100;
  ViewLoop loop{[this] { return now; }};
  Site a, b;
  std::vector<Site*> sites{&a, &b};

  void Start(Site& site, double interval) {
    site.pace_.timer.setInterval(interval);
    site.pace_.timer.start(now);
  }
};

TEST_F(ViewLoopTest, ViewsStepOnTheirOwnPeriodsAndNoEarlier) {
  Start(a, 0.125);
  Start(b, 0.25);
  now = 100.124;
  loop.AnimateDue(sites);
  EXPECT_EQ(a.view->frames, 0);
  // Half a millisecond early is close enough to spare one more wake-up.
  now = 100.1246;
  loop.AnimateDue(sites);
  EXPECT_EQ(a.view->frames, 1);
  EXPECT_EQ(b.view->frames, 0);
  for (int i = 1; i <= 8; ++i) {
    now = 100.125 + i * 0.125;
    loop.AnimateDue(sites);
  }
  EXPECT_EQ(a.view->frames, 9);
  EXPECT_EQ(b.view->frames, 4);
  // Starting again while running keeps the tick it has.
  const double next = a.pace_.timer.next;
  a.pace_.timer.start(now);
  EXPECT_EQ(a.pace_.timer.next, next);
}

TEST_F(ViewLoopTest, LateAndSlowTicksAreNotReplayed) {
  Start(a, 0.125);
  // A suspended machine: many periods pass; the view steps at once and once more
  // right after, then on its period again, never once per missed tick.
  now = 101;
  loop.AnimateDue(sites);
  EXPECT_EQ(a.view->frames, 1);
  EXPECT_EQ(loop.PollTimeout(sites), 0);
  loop.AnimateDue(sites);
  EXPECT_EQ(a.view->frames, 2);
  EXPECT_EQ(loop.PollTimeout(sites), 125);
  // A frame that takes longer than the period: the next one follows at once,
  // timed from the frame's end.
  a.view->during = [this] { now += 0.3; };
  now += 0.125;
  loop.AnimateDue(sites);
  EXPECT_EQ(a.view->frames, 3);
  EXPECT_EQ(a.pace_.timer.next, now);
  // A view later in the round is timed on the clock after the frames before it.
  Start(b, 0.125);
  b.pace_.timer.next = now;
  loop.AnimateDue(sites);
  EXPECT_EQ(b.view->frames, 1);
  EXPECT_EQ(b.pace_.timer.next, now);
}

TEST_F(ViewLoopTest, TheLoopSleepsUntilTheNextViewThatCanDraw) {
  // Nothing runs: only an event, or the engine's own chore, can help.
  EXPECT_EQ(loop.PollTimeout(sites), -1);
  EXPECT_EQ(loop.PollTimeout(sites, now + 1), 1000);
  Start(a, 0.125);
  Start(b, 0.046875);
  EXPECT_EQ(loop.PollTimeout(sites), 47);  // rounded up: waking early costs a round
  EXPECT_EQ(loop.PollTimeout(sites, now + 0.015625), 16);
  // A hidden view, one whose frame the display has not taken, and a site without
  // a running view set no wake-up, and do not step.
  b.pace_.shown = false;
  EXPECT_EQ(loop.PollTimeout(sites), 125);
  a.pace_.presenting = true;
  EXPECT_EQ(loop.PollTimeout(sites), -1);
  a.pace_.presenting = false;
  a.running = false;
  EXPECT_EQ(loop.PollTimeout(sites), -1);
  now += 1;
  loop.AnimateDue(sites);
  EXPECT_EQ(a.view->frames + b.view->frames, 0);
  // Nor does a stopped timer.
  a.running = true;
  a.pace_.timer.stop();
  EXPECT_EQ(loop.PollTimeout(sites), -1);
}

TEST(ViewLoopSleep, SaysWhetherTheConnectionWokeIt) {
  int connection[2], signals[2];
  ASSERT_EQ(pipe(connection), 0);
  ASSERT_EQ(pipe(signals), 0);
  EXPECT_EQ(ViewLoop::Sleep(connection[0], signals[0], 0), ViewLoop::Woken::Other);
  ASSERT_EQ(write(signals[1], "s", 1), 1);
  EXPECT_EQ(ViewLoop::Sleep(connection[0], signals[0], -1), ViewLoop::Woken::Other);
  ASSERT_EQ(write(connection[1], "c", 1), 1);
  EXPECT_EQ(ViewLoop::Sleep(connection[0], signals[0], -1), ViewLoop::Woken::Connection);
  for (int fd : {connection[0], connection[1], signals[0], signals[1]}) close(fd);
}

TEST(PointerHysteresis, SmallMovesAreABumpedDesk) {
  PointerHysteresis pointer;
  EXPECT_FALSE(pointer.Moved(300, 300));  // the first place seen is where it rests
  EXPECT_FALSE(pointer.Moved(310, 290));
  EXPECT_TRUE(pointer.Moved(311, 300));
  EXPECT_TRUE(pointer.Moved(300, 289));
  // Entering a surface is no move: the new place is where moves count from.
  pointer.Rest(0, 0);
  EXPECT_FALSE(pointer.Moved(-10, 10));
  EXPECT_TRUE(pointer.Moved(-10.5, 0));
}

}  // namespace
}  // namespace ambrel
