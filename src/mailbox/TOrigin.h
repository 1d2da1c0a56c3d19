#pragma once

// Who started a check or a view: some rules differ for the timer and for the viewer
// opened on its own after a check.
enum class TOrigin { User, Timer, AutoView };
