// metrics-dir and metrics: the folder's checks, and the file the service wrote shown as it is.
#include "AdminTest.h"
#include "settings/CMetricsSettings.h"

#include <fstream>
#include <functional>

namespace {

TEST_F(AdminTest, MetricsDirTakesAnExistingFolderAndMetricsShowsItsFile)
{
    CScratchFolder folder;
    const std::string notAFolder = folder.Path() + "/plain";
    std::ofstream(notAFolder) << "x";
    const std::string file = folder.Path() + "/" + CMetricsSettings::kFileName;
    const struct
    {
        std::vector<std::string> args;
        std::function<void()> before;
        int status;
        std::string out;
        std::string err;
    } steps[] = {
        {{"metrics-dir"}, [] {}, 0, "off\n", ""},
        {{"metrics"},
         [] {},
         1,
         "",
         "corvane-admin: metrics are off: name a folder for them with 'corvane-admin metrics-dir PATH'\n"},
        {{"metrics-dir", "relative/path"},
         [] {},
         2,
         "",
         "corvane-admin: 'relative/path' is not an absolute path: name the folder from the root, as "
         "/var/lib/prometheus/node-exporter\n"},
        {{"metrics-dir", "/tmp/a\nb"},
         [] {},
         2,
         "",
         "corvane-admin: '/tmp/a\\x0Ab' holds a control character: name a plain folder\n"},
        {{"metrics-dir", notAFolder},
         [] {},
         1,
         "",
         "corvane-admin: '" + notAFolder + "' is not an existing folder: make it first\n"},
        {{"metrics-dir", folder.Path()}, [] {}, 0, "Metrics go to " + file + ".\n", ""},
        {{"metrics-dir"}, [] {}, 0, folder.Path() + "\n", ""},
        {{"metrics"},
         [] {},
         1,
         "",
         "corvane-admin: the key service has written no metrics to " + folder.Path() +
             " (it does within 15 s of its start or of a change of the folder): is it running?\n"},
        {{"metrics"},
         [&] { std::ofstream(file) << "corvane_open_connections 2\n"; },
         0,
         "corvane_open_connections 2\n",
         ""},
        {{"metrics-dir", "off"}, [] {}, 0, "Metrics are off.\n", ""},
        {{"metrics-dir"}, [] {}, 0, "off\n", ""},
    };
    for (const auto& step : steps) {
        step.before();
        EXPECT_EQ(Run(step.args), step.status) << step.args.back();
        EXPECT_EQ(out, step.out) << step.args.back();
        EXPECT_EQ(err, step.err) << step.args.back();
    }
}

} // namespace
