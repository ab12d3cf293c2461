// Exports a recording once and reports how it went by its exit status, for a test that runs it
// under a limit on the size of the files it may write.
#include "ExportTestProject.h"
#include "RecordCore/Exporter.h"
#include "RecordCore/RecordError.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    vi::test::RecordingSpec spec;
    spec.duration = 2;
    vi::ExportOptions options{vi::test::plainExportProject()};
    options.fps = 30;
    options.scale = 1.0 / 3;
    try {
        vi::Exporter::exportVideo(argv[1], vi::test::planOver(spec, {{0, 2, 1, vi::SpeedSegment::Reason::normal}}),
                                  options, argv[2]);
    } catch (const vi::RecordError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return error.kind() == vi::RecordError::Kind::writeFailed ? 3 : 4;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 5;
    }
    return 0;
}
