// Questions the launcher asks the machine before it patches, installs or starts anything.
#pragma once

bool IsOtherLauncherRunning();
bool IsCompatibilityModeSet();
void ClearCompatibilityMode();
