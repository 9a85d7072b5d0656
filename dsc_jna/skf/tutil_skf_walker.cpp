// Walks over several token libraries, one after another, each loaded and
// walked within the deadline on one worker thread: a library that does not
// answer in time is left behind, and the others are still walked.
#include <string>

#include "tcore_list.h"
#include "tcore_worker.h"
#include "tutil_skf_bounded.h"
#include "tutil_skf_cus.h"

struct tutil_skf_walker {
    tcore_worker* worker;
    int deadlineMs;
};

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

tutil_skf_walker* tutil_skf_walker_new(int deadlineMs) { return new tutil_skf_walker{tcore_worker_new(), deadlineMs}; }

void tutil_skf_walker_free(tutil_skf_walker* walker)
{
    if (walker == nullptr) return;
    tcore_worker_free(walker->worker);
    delete walker;
}

int tutil_skf_walkLibrary(tutil_skf_walker* walker, const char* path, tutil_skf_walkKind kind, const char* serialNumber,
                          tcore_list** found)
{
    if (path == nullptr || path[0] == 0 || found == nullptr) return TCORE_ERR_PARAM;
    auto* task = new WalkTask(path, kind, serialNumber);
    int rc = tutil_skf_runBounded(walker != nullptr ? walker->worker : nullptr, task,
                                  walker != nullptr ? walker->deadlineMs : 0);
    if (rc < 0) return rc;
    *found = task->found;
    task->found = nullptr;
    int result = task->result;
    delete task;
    return result;
}
