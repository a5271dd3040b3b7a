#include "app/PopoverPlacement.h"

#include "app/StatusBarController.h"

#include <gtest/gtest.h>

namespace {

const QRect screen(0, 24, 1280, 776); // a 24-pixel panel at the top
const QSize popover(400, 600);

} // namespace

TEST(PopoverPlacement, OpensUnderTheIconOrAboveItAndStaysOnTheScreen)
{
    // An icon in the middle of a top panel: centred, just under it.
    EXPECT_EQ(PopoverPlacement::besideTrayIcon(QRect(600, 0, 24, 24), screen, popover),
              QPoint(412, 24 + PopoverPlacement::gap));
    // At the right edge: pushed left until it fits.
    EXPECT_EQ(PopoverPlacement::besideTrayIcon(QRect(1256, 0, 24, 24), screen, popover),
              QPoint(880, 24 + PopoverPlacement::gap));
    // In a bottom panel: above the icon.
    const QRect aboveBottomPanel(0, 0, 1280, 776);
    EXPECT_EQ(PopoverPlacement::besideTrayIcon(QRect(1256, 776, 24, 24), aboveBottomPanel, popover),
              QPoint(880, 776 - PopoverPlacement::gap - 600));
    // No icon position: the top-right corner, inside the margin.
    EXPECT_EQ(PopoverPlacement::topRightOf(screen, popover),
              QPoint(1280 - PopoverPlacement::margin - 400, 24 + PopoverPlacement::margin));
    // A screen smaller than the popover shows its top-left part.
    EXPECT_EQ(PopoverPlacement::topRightOf(QRect(0, 0, 320, 480), popover), QPoint(0, 0));
}

TEST(OutsideClick, OnlyClicksBesideBothThePopoverAndTheTrayIconClose)
{
    const QRect frame(880, 28, 400, 600);
    const QRect icon(1256, 0, 24, 24);
    EXPECT_FALSE(StatusBarController::isOutsideClick({900, 300}, frame, icon));
    EXPECT_FALSE(StatusBarController::isOutsideClick({1279, 627}, frame, icon));
    EXPECT_FALSE(StatusBarController::isOutsideClick({1260, 10}, frame, icon));
    EXPECT_TRUE(StatusBarController::isOutsideClick({879, 300}, frame, icon));
    EXPECT_TRUE(StatusBarController::isOutsideClick({1000, 628}, frame, icon));
    // A popover without a window and an icon that cannot say where it is: everything is outside.
    EXPECT_TRUE(StatusBarController::isOutsideClick({900, 300}, QRect(), QRect()));
}
