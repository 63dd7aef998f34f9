// Runs the suite inside a QApplication, headless unless a display is asked
// for; `--store-worker` runs the crash test's storing worker instead.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstring>

int RunStoreWorker(char** argv); // CrashSafeStorageTest.cpp

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--store-worker") == 0)
        return RunStoreWorker(argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
