#include "progress.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace {

// The one progress line of the process and the thread that draws it.
std::mutex progressMutex;
std::condition_variable progressChanged;
std::thread drawer;
bool drawing = false;
std::string progressText;
std::atomic<double> progressShare{-1};
int terminalFd = -2;  // -2: not looked at yet; -1: standard error is no terminal

void drawLoop(std::chrono::steady_clock::time_point start) {
    using namespace std::chrono;
    std::unique_lock<std::mutex> lock(progressMutex);
    bool shown = false;
    while (!progressChanged.wait_for(lock, milliseconds(250), [] { return !drawing; })) {
        double seconds = duration<double>(steady_clock::now() - start).count();
        if (seconds < 1) continue;
        std::string line = "\rbsv2-convert: " + progressText;
        double share = progressShare.load();
        if (share >= 0) line += " " + std::to_string(static_cast<int>(share * 100)) + "%";
        line += " (" + std::to_string(static_cast<int>(seconds)) + " s)\033[K";
        if (write(terminalFd, line.data(), line.size()) < 0) break;
        shown = true;
    }
    if (shown && write(terminalFd, "\r\033[K", 4) < 0) return;
}

}  // namespace

void startProgress(const char *what) {
    endProgress();
    if (terminalFd == -2) terminalFd = isatty(2) ? dup(2) : -1;
    if (terminalFd < 0) return;
    std::lock_guard<std::mutex> lock(progressMutex);
    progressText = what;
    progressShare = -1;
    drawing = true;
    drawer = std::thread(drawLoop, std::chrono::steady_clock::now());
}

void setProgressShare(double share) { progressShare = share; }

void endProgress() {
    {
        std::lock_guard<std::mutex> lock(progressMutex);
        if (!drawing) return;
        drawing = false;
    }
    progressChanged.notify_all();
    drawer.join();
}
