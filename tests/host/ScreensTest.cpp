// Which screen a view belongs to, and where its resources come from.
#include "HostFixture.h"
#include "platform/Bundle.h"

namespace ambrel {

namespace {

TEST(ScreenMask, PicksTheFirstOverlappingScreenOrElseTheMainDisplay) {
  ScopedConfigHome home;
  const Screen left{Rect{0, 0, 64, 48}, 7}, right{Rect{64, 0, 64, 48}, 9};
  OffscreenEngine engine({left, right});
  engine.createViews(AmbrelFactory(MakeSettings(2)));
  AmbrelView* view = Ambrel(engine, 0);
  const uint32_t leftMask = DisplayMaskForScreenNumber(7), rightMask = DisplayMaskForScreenNumber(9);
  ASSERT_NE(leftMask, rightMask);
  EXPECT_EQ(view->getScreenMaskForFrame(right.frame), rightMask);
  EXPECT_EQ(view->getScreenMaskForFrame(Rect{60, 10, 20, 20}), leftMask);   // overlaps both
  EXPECT_EQ(view->getScreenMaskForFrame(Rect{500, 500, 20, 20}), leftMask);  // overlaps none: main
  EXPECT_EQ(view->getScreenMaskForFrame(Rect{64, 0, 0, 0}), leftMask);       // empty: main
  EXPECT_EQ(view->getScreenMaskForFrame(Rect{64, 0, 1, 1}), rightMask);     // touching edges don't overlap
}

TEST(Bundle, ResourcesComeFromTheNamedFolderAndOnlyWhenTheyExist) {
  ScopedConfigHome home;
  ScopedEnv resources("AMBREL_RESOURCES", home.root());
  std::ofstream(home.root() + "/morvish.tallowyn") << "x";
  EXPECT_EQ(PathForResource("morvish", "tallowyn"), home.root() + "/morvish.tallowyn");
  EXPECT_EQ(PathForResource("morvish", "tga"), "");
  EXPECT_EQ(PathForResource("config", ""), "");  // a folder is not a resource
}

}  // namespace

}  // namespace ambrel
