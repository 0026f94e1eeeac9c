// The alarm player works on a thread of its own: a test reads what it plays once the requests
// made so far were handled there.
#pragma once

#include <QtCore/qtestsupport_core.h>

#include "alerts/alert_sound.h"

namespace kestrune::test {

inline bool soundSettled() {
  AlertSoundPlayer* player = AlertSoundPlayer::instance();
  return player && QTest::qWaitFor([player] { return player->settled(); }, 10000);
}

}  // namespace kestrune::test
