#pragma once
// Pasting the clipboard's picture into the desktop's default bitmap editor: find the editor's
// window (or start the editor), bring it up, pause, and type Ctrl+V into it. Every wait runs
// through the caller's event loop, so the window never freezes while the editor comes up.
#include <chrono>
#include <functional>

#include "shell/launcher.h"
#include "shell/progassoc.h"
#include "shell/window_processes.h"

namespace quendra {

// Runs `next` once `delay` has passed, from the main thread's event loop (a single-shot timer);
// it must return at once. Tests pass one that records the delay and runs `next` directly.
using Scheduler = std::function<void(std::chrono::milliseconds delay, std::function<void()> next)>;

inline constexpr std::chrono::milliseconds kPasteDelay{500};
// How long, and in what steps, a freshly started editor is given to show its window.
inline constexpr std::chrono::milliseconds kNewEditorWait{5000};
inline constexpr std::chrono::milliseconds kNewEditorPoll{100};

// Main thread, after the clipboard has been filled. Returns at once; the steps follow through
// `after`: kPasteDelay before the keystrokes, and up to kNewEditorWait before that when the
// editor had to be started. The editor's window is the one of a process running its
// executable, else one of its desktop entry's window class, else one of the process started.
// The keystrokes are typed only when there is an editor window to receive them: without an
// associated editor, or when it cannot be started or shows no window in time, nothing is typed
// into whatever else has the focus. The three services must outlive the pending steps.
void PasteIntoDefaultEditor(ProgramAssociations& associations, WindowProcesses& processes,
                            ProgramLauncher& launcher, const Scheduler& after);

}  // namespace quendra
