// The new-model wizard library. The editor loads it at start and keeps it; it calls nothing in it. The
// entry below tells a caller which wizard protocol the library speaks.

extern "C" int NewWizardGetVersion() { return 1; }
