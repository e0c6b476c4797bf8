#include "pages/upgrade/ServoTest.h"

ServoTest::ServoTest(ZNServo& p, QWidget* parent) : QWidget(parent), protocol(p) {}
