// Defaults for the sanitizer builds of every test program and of the hosts the tests run
// (ignored by other builds).
//
// Qt is not built with ThreadSanitizer: the locks of its event queue and of its painting
// and image-scaling thread pools are invisible to it, so memory that Qt hands from thread to
// thread under those locks looks unguarded. Accesses made inside Qt are left out; what
// remains of Qt's hand-over is the posted event that our handlers read.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}

extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions()
{
    return "race:QEvent::type\nrace:libQt6Core.so\nrace:libQt6Gui.so\n";
}

// The font library keeps caches for the life of the process (Qt's font database never
// returns them); they are not ours.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
