#pragma once

// The framework's start-up, run once on the main thread after the launcher has
// created the engine context and chosen its log settings: clock check, working
// folder, file system, logger, machine address, hardware detection thread.
void PlatformStartup();
