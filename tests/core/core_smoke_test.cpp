#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_picture.h"

using namespace zanthrel;

TEST(Smoke, AlarmAtFourthCapture) {
    sim::SimDesktop desk;
    desk.start();
    desk.clickStartPause();
    for (int i = 0; i < 4; ++i) {
        desk.copyPicture(sim::SimPicture::solid(100, 100, 0x100 + i));
        desk.tick(2);
    }
    for (auto& l : desk.log()) std::printf("%s\n", l.c_str());
    ASSERT_EQ(desk.messageBoxes().size(), 1u);
}
