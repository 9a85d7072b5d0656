// Walks over several token libraries, one after another, each loaded and
// walked within the deadline on one worker thread: a library that does not
// answer in time is left behind, and the others are still walked.
#include <string>
#include <vector>

#include "tcore_list.h"
#include "tutil_skf_bounded.h"
#include "tutil_skf_cus.h"

namespace {

struct WalkTask : tutil_skf_task {
    tutil_skf_walkKind kind;
    std::string serialNumber;
    tcore_list* found = nullptr;
    int result = 0;

    WalkTask(const char* libraryPath, tutil_skf_walkKind walkKind, const char* sn)
        : tutil_skf_task(libraryPath), kind(walkKind), serialNumber(sn != nullptr ? sn : "")
    {
    }
    ~WalkTask() override { tcore_list_free(found); }

    void run() override
    {
        int id = tutil_skf_load(path);
        if (id < 0) {
            result = id;
            return;
        }
        switch (kind) {
        case TUTIL_SKF_WALK_CERTS: result = tutil_skf_findAllCerts(id, &found); break;
        case TUTIL_SKF_WALK_CERTS_BY_SN:
            result = tutil_skf_findAllCertsByDevSn(id, serialNumber.c_str(), &found);
            break;
        case TUTIL_SKF_WALK_DEVICES: result = tutil_skf_findAllDev(id, &found); break;
        }
    }
};

}  // namespace

void tutil_skf_walkLibraries(const char* const* paths, int count, tutil_skf_walkKind kind, const char* serialNumber,
                             int deadlineMs, tutil_skf_walkResult* results)
{
    std::vector<tutil_skf_task*> tasks(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) tasks[static_cast<size_t>(i)] = new WalkTask(paths[i], kind, serialNumber);
    tutil_skf_runBounded(tasks.data(), count, deadlineMs);
    for (int i = 0; i < count; ++i) {
        auto* task = static_cast<WalkTask*>(tasks[static_cast<size_t>(i)]);
        tutil_skf_walkResult& result = results[i];
        result = {TUTIL_SKF_ERR_NO_ANSWER, nullptr};
        if (task == nullptr) continue;
        if (!task->refused) {
            result = {task->result, task->found};
            task->found = nullptr;
        }
        delete task;
    }
}
