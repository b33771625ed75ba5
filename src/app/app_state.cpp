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
    // Nothing a worker uses may go before it has ended. The main window
    // function has joined them on its way out; this is the last guard for
    // a path that did not (its list messages are still served here).
    app.cancelRequested = 1;
    for (toolkit::UniqueHandle* worker : {&app.removalThread, &app.scanThread}) {
        JoinWorker(worker->Get());
        worker->Reset();
    }
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

void JoinWorker(HANDLE worker) {
    if (worker == nullptr || worker == INVALID_HANDLE_VALUE)
        return;
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_SENDMESSAGE) !=
           WAIT_OBJECT_0) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
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
