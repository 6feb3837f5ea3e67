#include "db/messenger.h"
#include "kit/error_boxes.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's own application object, so events go through its
    // general error handler; errors it catches are recorded, never shown in
    // a box that would wait for a click.
    tabel::TabelApplication app(argc, argv);
    tabel::RecordingMessenger errors;
    tabel::setErrorMessenger(&errors);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
