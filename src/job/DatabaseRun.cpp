#include "job/DatabaseRun.h"

#include <fmt/format.h>
#include <system_error>

namespace vok {

namespace {

std::string AbsoluteText(const std::filesystem::path& file) {
    if (file.empty()) return {};
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    return (ec ? file : absolute).lexically_normal().string();
}

} // namespace

DatabaseTarget DatabaseTargetFor(const JobSettings& job, const clsExportSpecs& specs) {
    DatabaseTarget target;
    target.sourceFile = AbsoluteText(job.gInputFile);
    target.recipe = AbsoluteText(job.gRecipeFile);
    target.keepSheet1 = !specs.ConsolidateCollection.empty();
    return target;
}

DatabaseRun::DatabaseRun(JobState& state, SqliteOutput& output) : state_(state), output_(output) {
    state_.tableWatcher = this;
}

DatabaseRun::~DatabaseRun() {
    state_.tableWatcher = nullptr;
}

void DatabaseRun::TableStarting(size_t index, const clsTable& table) {
    // A table the database refuses makes the table's first write fail, which
    // says why and ends the run.
    output_.BeginTable(fmt::format("table_{}", index + 1), table.SheetColumns());
}

void DatabaseRun::TableFinished(size_t, const clsTable&) {
    // A last row the database refused fails the commit, which says why.
    output_.EndTable();
}

bool DatabaseRun::WriteConsolidations() {
    const clsExportSpecs& specs = state_.recipe.ExportSpecs;
    for (size_t c = 0; c < specs.ConsolidateCollection.size(); ++c) {
        const clsCon& con = specs.ConsolidateCollection[c];
        // Only a consolidation that ran has its rows on sheet 2.
        if (con.WriteConTopRow < 1 || con.Table < 1 ||
            static_cast<size_t>(con.Table) > specs.TablesCollection.size())
            continue;
        const clsTable& table = specs.TablesCollection[static_cast<size_t>(con.Table - 1)];
        if (!output_.WriteKeptRows(2, fmt::format("consolidation_{}", c + 1), table.SheetColumns(),
                                   con.WriteConTopRow, con.WriteConBottomRow)) {
            state_.messages.Show(fmt::format("Cannot write consolidation {} to {}: {}.", c + 1,
                                             state_.job.gOutputFile.string(),
                                             output_.WriteFailure()),
                                 MessageIcon::Critical);
            return false;
        }
    }
    return true;
}

} // namespace vok
