#pragma once
// The main of a benchmark that runs the window's classes: a QApplication on the offscreen
// platform unless another is asked for, in the folder of the shipped catalogue, which the
// window reads from its working directory.

#include <QApplication>
#include <QDir>

#include <benchmark/benchmark.h>

#ifndef SERVO_SOURCE_DIR
#error "SERVO_SOURCE_DIR must name the source tree"
#endif

inline int RunWindowBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QDir::setCurrent(SERVO_SOURCE_DIR "/data");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
