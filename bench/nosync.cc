// A preload library for the benchmark's diagnostic row only: it turns the
// calls that wait for the disk (fsync, fdatasync, syncfs, sync) into no-ops,
// so that a batch run timed with it shows how much of its time is the work
// and how much is waiting for durable writes. Never used by the tool itself.
#include <unistd.h>

extern "C" {

int fsync(int) { return 0; }
int fdatasync(int) { return 0; }
int syncfs(int) { return 0; }
void sync() {}

}
