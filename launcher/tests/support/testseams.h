#pragma once

// Whether the programs under test have their test seams: crash points
// (CORVANE_CRASH_AT, CORVANE_STOP_AT), failing reads (CORVANE_FAIL_AT), failing
// file operations (CORVANE_FAIL_FILE_OP), boxes answered in the log
// (CORVANE_MESSAGES=log) and window snapshots (CORVANE_SNAPSHOTS). A build for players has none of them;
// a test that needs one skips there instead of hanging in a box or waiting for
// a kill that never comes.

#include <QTest>

constexpr bool kTestSeams = CORVANE_TEST_SEAMS;

#define CORVANE_SKIP_WITHOUT_SEAM(seam)                                                                                \
    do {                                                                                                               \
        if (!kTestSeams)                                                                                               \
            QSKIP("needs " seam ", which a build for players leaves out");                                             \
    } while (false)
