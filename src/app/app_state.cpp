#include "app/app_state.h"

#include <string>

namespace cs::app {

AppState::AppState() {
    options.criteria = 0;
    mainWindow.events = &eventStore;
    events = &eventStore;
}

AppState::~AppState() {
    TeardownAppState(*this);
}

void TeardownAppState(AppState& app) {
    app.removalThread.Reset();
    app.scanThread.Reset();
    toolkit::MsgBoxClose(app.msgBox);
    toolkit::FreeWindowRecord(app.msgBox.window);
    toolkit::ProgressClose(app.progress);
    app.rows.reset();
    app.results.Reset();
    app.options.rootPath.clear();
    app.options.extensionFilter.clear();
    if (app.mainWindow.window != nullptr || app.mainWindow.controls)
        toolkit::FreeWindowRecord(app.mainWindow);
    app.mainHandle = nullptr;
    app.listHandle = nullptr;
}

std::wstring RootFromCommandLine(const wchar_t* commandLine) {
    if (commandLine == nullptr)
        return {};
    const std::wstring line = commandLine;
    const size_t first = line.find(L'"');
    if (first != std::wstring::npos) {
        const size_t second = line.find(L'"', first + 1);
        if (second != std::wstring::npos)
            return line.substr(first + 1, second - first - 1);
    }
    return line;
}

}  // namespace cs::app
