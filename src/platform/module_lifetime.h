#pragma once

// What a library that runs a thread of its own needs of the process it lives in.
namespace vexo::platform {

// Keeps the module holding this code loaded until the process ends, whoever unloads it: a thread
// of ours may be running its code when the application lets go of it, and nothing can join that
// thread during the unload. Windows: GetModuleHandleEx with the pin flag; POSIX: RTLD_NODELETE.
void pin_own_module();

// Runs `hook` when the process exits normally, before the static objects that exist now are
// destroyed (POSIX: atexit). Windows: does nothing, as ExitProcess ends every other thread before
// the library's static objects go.
void at_process_exit(void (*hook)());

}  // namespace vexo::platform
