// The progress dialog of a run (4098): an animation, the item being deleted and the bar. It
// starts the worker itself, shows what the worker posts, and closes when the worker says it
// has ended. Cancel only sets the job's flag.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "common/thread.h"
#include "common/ui/dialog.h"
#include "tidemark/cleaner.h"
#include "tidemark/progress_model.h"

class CProgressDialog : public ui::CDialog {
public:
    // Posted by the dialog to itself when it opens: count, set the bar, start the worker.
    static const UINT kStartMessage = 0x8001;
    // Posted by the worker when the run is over.
    static const UINT kFinishedMessage = 0x8002;
    // Posted by the worker for each cache entry it deletes: wParam kCacheUrlKind, lParam a
    // copy of the URL made by NewUrlCopy, which the dialog frees.
    static const UINT kCacheUrlMessage = 0x800C;
    static const WPARAM kCacheUrlKind = 3;

    CProgressDialog(HINSTANCE instance, tCleanJob& job);
    ~CProgressDialog() override;

    // Read back after the dialog closed.
    unsigned m_range = 0;
    unsigned m_position = 0;
    unsigned m_urlsShown = 0;
    std::string m_lastUrl;

protected:
    bool OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void OnCancel() override;
    void OnDestroy() override;

private:
    class CPostedProgress;

    void OnStart();
    void OnCacheUrl(WPARAM kind, char* copy);
    void OnFinished();
    void OnPhase(int phase);
    void OnHistoryRange(unsigned total);
    void OnHistoryItem(const std::string& name);
    void Show(const tProgressStep& step, const std::string& text);
    void StartAnimation();
    // Ends the worker and frees the URL copies still queued.
    void StopWorker();

    tCleanJob& m_job;
    bool m_started = false;
    std::atomic<bool> m_ended{false};
    CProgressModel m_model;
    std::unique_ptr<CPostedProgress> m_progress;
    CThread m_worker;
};
