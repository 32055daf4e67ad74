#pragma once
// Pasting the clipboard's picture into the desktop's default bitmap editor: find the editor's
// window (or start the editor), bring it up, pause, and type Ctrl+V into it.
#include <chrono>
#include <functional>

#include "shell/launcher.h"
#include "shell/progassoc.h"
#include "shell/winprocesses.h"

namespace quendra {

// Blocks the calling thread for the given time; tests pass one that only records.
using PauseFunction = std::function<void(std::chrono::milliseconds)>;
void SleepFor(std::chrono::milliseconds duration);

inline constexpr std::chrono::milliseconds kPasteDelay{500};
// How long, and in what steps, a freshly started editor is given to show its window.
inline constexpr std::chrono::milliseconds kNewEditorWait{5000};
inline constexpr std::chrono::milliseconds kNewEditorPoll{100};

// Main thread, after the clipboard has been filled. Blocks for kPasteDelay (and up to
// kNewEditorWait more when the editor had to be started). The keystrokes are typed only when
// there is an editor window to receive them: without an associated editor, or when it cannot
// be started or shows no window in time, nothing is typed into whatever else has the focus.
void PasteIntoDefaultEditor(ProgramAssociations& associations, WindowProcesses& processes,
                            ProgramLauncher& launcher, const PauseFunction& pause = SleepFor);

}  // namespace quendra
