#include "app/ProgramState.h"

#include "base/modUtilityFile.h"

namespace vok {

ProgramState::ProgramState(Messages& messages_, std::string programFolder)
    : messages(messages_), ProgramFolder(std::move(programFolder)) {
    gErrorLogFile = ProgramFile("ErrorLog.txt");
    gConfigFile = ProgramFile("config.ini");
}

void ProgramState::DoEvents() {
    if (!messages.ProcessEvents()) return;
    if (gCommandLineMode) Interrupted = true;
    if (gExportRunning || gCommandLineMode) StopRequested = true;
}

std::string ProgramState::ProgramFile(std::string_view name) const {
    return JoinPath(ProgramFolder, name);
}

} // namespace vok
