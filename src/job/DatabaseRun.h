// A run of the export-specs file into a database opened for one report: each
// table's rows stream into the database table `table_<n>` as the run writes
// them, and, once the run is over, each consolidation's rows go into
// `consolidation_<n>`. The run itself sees a workbook; this watcher tells the
// database where each table begins and ends.
#pragma once

#include "engine/JobState.h"
#include "output/SqliteOutput.h"

#include <filesystem>

namespace vok {

// What the database is told of the job's current report: the report and the
// recipe (absolute paths), and whether consolidations will read the tables'
// rows back.
DatabaseTarget DatabaseTargetFor(const JobSettings& job, const clsExportSpecs& specs);

class DatabaseRun final : public TableRunWatcher {
public:
    // Watches the state's run until destroyed.
    DatabaseRun(JobState& state, SqliteOutput& output);
    ~DatabaseRun() override;
    DatabaseRun(const DatabaseRun&) = delete;
    DatabaseRun& operator=(const DatabaseRun&) = delete;

    void TableStarting(size_t index, const clsTable& table) override;
    void TableFinished(size_t index, const clsTable& table) override;

    // Writes the rows of every consolidation that ran; false, after a
    // message, when the database could not take them.
    bool WriteConsolidations();

private:
    JobState& state_;
    SqliteOutput& output_;
};

} // namespace vok
