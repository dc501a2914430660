// codekiln_phase_run: one batch run over a folder, as codekiln-cli --yes
// makes it, with the time of each of its steps taken apart: listing, the
// look at each file (stat and resolved path), reading, decoding and
// encoding, formatting, the safety check, the fingerprints, the backup copies, the rewrites, the
// waits for the disk (fsync and fdatasync, taken out of the steps that make
// them) and the manifest. What is left is the run's own bookkeeping.
// Prints one "step seconds" line per step, then "total seconds".
// With -j N above 1 the workers' steps (look, read, decode, format, check,
// fingerprint) overlap the run's own: each step is then the time of every
// thread added up, and together they can exceed the total.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fingerprint.h"
#include "platform/paths.h"
#include "platform/qt_platform.h"
#include "platform/text_codec.h"
#include "run/backup_slots.h"
#include "run/run_batch.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// Seconds added up from several threads, kept as nanoseconds.
class Seconds {
public:
    void add(double seconds) {
        ns_.fetch_add(static_cast<long long>(seconds * 1e9), std::memory_order_relaxed);
    }
    double get() const { return static_cast<double>(ns_.load(std::memory_order_relaxed)) / 1e9; }

private:
    std::atomic<long long> ns_{0};
};

// The waits for the disk, added up by the sync calls below: in all, and on
// this thread (which the step that made them leaves out).
Seconds syncSeconds;
thread_local double threadSyncSeconds = 0;

template <typename Call>
int timedSync(const char* name, int fd) {
    static Call real = reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name));
    const Clock::time_point started = Clock::now();
    const int result = real(fd);
    const double waited = since(started);
    syncSeconds.add(waited);
    threadSyncSeconds += waited;
    return result;
}

}  // namespace

// The run's own calls resolve to these, which time the C library's.
extern "C" int fdatasync(int fd) { return timedSync<int (*)(int)>("fdatasync", fd); }
extern "C" int fsync(int fd) { return timedSync<int (*)(int)>("fsync", fd); }

namespace {

using namespace codekiln;

enum Step { List, Look, Read, Decode, Fingerprint_, Backup, Replace, Manifest, Steps };
const char* const kStepNames[Steps] = {"list",        "look",   "read",    "decode",
                                       "fingerprint", "backup", "replace", "manifest"};

class TimedPlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    Seconds seconds[Steps];

    // Times `call` as `step`, the syncs it makes left out of it.
    template <typename Call>
    auto timed(Step step, Call call) {
        const double syncBefore = threadSyncSeconds;
        const Clock::time_point started = Clock::now();
        auto result = call();
        seconds[step].add(since(started) - (threadSyncSeconds - syncBefore));
        return result;
    }

    Status listFiles(const std::string& folder, const std::string& extension,
                     std::vector<std::string>& names) override {
        return timed(List, [&] { return QtPlatform::listFiles(folder, extension, names); });
    }
    Status statFile(const std::string& path, FileIdentity& identity) override {
        return timed(Look, [&] { return QtPlatform::statFile(path, identity); });
    }
    std::string canonicalPath(const std::string& path) override {
        return timed(Look, [&] { return QtPlatform::canonicalPath(path); });
    }
    Status readFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) override {
        return timed(Read, [&] { return QtPlatform::readFileOnce(path, bytes, identity); });
    }
    Status writeBackup(const std::string& to, const std::string& bytes, const FileIdentity& of) override {
        return timed(Backup, [&] { return QtPlatform::writeBackup(to, bytes, of); });
    }
    Status replaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read) override {
        return timed(Replace, [&] { return QtPlatform::replaceFile(path, bytes, read); });
    }
    void writeBackups(std::vector<BatchBackup>& backups) override {
        timed(Backup, [&] { return (QtPlatform::writeBackups(backups), 0); });
    }
    Status syncFolders(const std::vector<std::string>& folders) override {
        return timed(Backup, [&] { return QtPlatform::syncFolders(folders); });
    }
    void replaceFiles(std::vector<BatchReplacement>& replacements) override {
        timed(Replace, [&] { return (QtPlatform::replaceFiles(replacements), 0); });
    }
    Status writeRunManifest(const std::string& slotFolder, const RunManifest& manifest) override {
        return timed(Manifest, [&] { return QtPlatform::writeRunManifest(slotFolder, manifest); });
    }
    Status removeRunManifest(const std::string& slotFolder) override {
        return timed(Manifest, [&] { return QtPlatform::removeRunManifest(slotFolder); });
    }
};

struct QuietUi : UserInterface {
    void messageOk(const std::string&) override {}
    bool messageYesNo(const std::string&) override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
    int jobs = 0;  // as codekiln-cli: the cores
    if (argc == 5 && std::string(argv[1]) == "-j") {
        jobs = std::atoi(argv[2]);
        argv += 2;
        argc -= 2;
    }
    if (argc != 3 || jobs < 0) {
        std::fprintf(stderr, "usage: codekiln_phase_run [-j N] BACKUP_ROOT FOLDER\n");
        return 2;
    }
    const std::string backupRoot = argv[1], folder = argv[2];
    QtPlatformOptions options;
    options.backupRoot = backupRoot;
    TimedPlatform platform(options);
    QuietUi ui;
    SessionState session;
    PipelineTimes times;
    PipelineOptions pipeline;
    pipeline.times = &times;
    pipeline.jobs = jobs;

    const Clock::time_point started = Clock::now();
    std::vector<std::string> names;
    const Status listed = platform.listFiles(folder, ".f90", names);
    std::vector<RunFile> files;
    for (std::string& name : names) files.push_back({folder + "/" + name, std::move(name)});
    BatchOutcome outcome =
        runFiles(files, folder, ".f90", session, FormatOptions{}, pipeline, platform, platform, ui);
    outcome.lock.reset();
    const double total = since(started);
    if (!listed || outcome.end != BatchEnd::Completed || !outcome.failures.empty() ||
        !outcome.manifestError.empty()) {
        std::fprintf(stderr, "codekiln_phase_run: the run did not format every file: %s\n",
                     outcome.failures.empty() ? outcome.message.c_str()
                                              : englishText(outcome.failures.front().reason).c_str());
        return 1;
    }
    // Decoding, encoding and the fingerprints are functions of the bytes
    // alone, made inside the pipeline and `chuli` where no file system sees
    // them: they are timed again here on the bytes the run took (each
    // original from its backup copy, each result from the file).
    const std::string slotFolder = slotFolderPath(platform, session.backupSlot);
    for (const RunFile& file : files) {
        std::string original, written;
        if (!platform.readFile(joinPath(slotFolder, file.name), original) || !platform.readFile(file.path, written))
            continue;
        TextFile result;
        (void)decodeText(written, EncodingChoice::Auto, file.name, result);
        Clock::time_point lap = Clock::now();
        const codekiln::Fingerprint prints[] = {fingerprintOf(original), fingerprintOf(written)};
        platform.seconds[Fingerprint_].add(since(lap));
        (void)prints;
        lap = Clock::now();
        TextFile decoded;
        (void)decodeText(std::move(original), EncodingChoice::Auto, file.name, decoded);
        std::string encoded;
        if (result.encoding != TextEncoding::Utf8 || result.bom)
            (void)encodeText(result.text, result.encoding, result.bom, file.name, encoded);
        platform.seconds[Decode].add(since(lap));
    }
    double accounted = syncSeconds.get() + times.format + times.check;
    for (int step = 0; step < Steps; ++step) {
        std::printf("%s %.6f\n", kStepNames[step], platform.seconds[step].get());
        accounted += platform.seconds[step].get();
    }
    std::printf("format %.6f\ncheck %.6f\nsync %.6f\nother %.6f\ntotal %.6f\n", times.format, times.check,
                syncSeconds.get(), total - accounted, total);
    return 0;
}
