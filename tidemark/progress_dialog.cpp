#include "tidemark/progress_dialog.h"

#include "common/ui/window.h"
#include "tidemark/res/resource.h"
#include "tidemark/url_cache.h"
#include "tidemark/url_copy.h"

// The worker's reports, turned into work for the dialog's thread. Tasks and messages are
// posted in the order of the reports, and a window takes posted messages in that order, so
// the dialog sees the end of the run after everything before it.
class CProgressDialog::CPostedProgress : public CCleanProgress {
public:
    CPostedProgress(CProgressDialog& dialog, HWND window) : m_dialog(dialog), m_window(window) {}

    void Phase(int phase) override
    {
        CProgressDialog* dialog = &m_dialog;
        ui::PostTask(m_window, [dialog, phase] { dialog->OnPhase(phase); });
    }

    void HistoryRange(unsigned total) override
    {
        CProgressDialog* dialog = &m_dialog;
        ui::PostTask(m_window, [dialog, total] { dialog->OnHistoryRange(total); });
    }

    void HistoryItem(const std::string& name) override
    {
        CProgressDialog* dialog = &m_dialog;
        ui::PostTask(m_window, [dialog, name] { dialog->OnHistoryItem(name); });
    }

    void CacheUrl(const std::string& url) override
    {
        char* copy = NewUrlCopy(url);
        if (!PostMessageA(m_window, kCacheUrlMessage, kCacheUrlKind, reinterpret_cast<LPARAM>(copy)))
            FreeUrlCopy(copy);
    }

    void Finished() override
    {
        m_dialog.m_ended = true;
        PostMessageA(m_window, kFinishedMessage, 0, 0);
    }

    HWND Owner() const override { return m_window; }

private:
    CProgressDialog& m_dialog;
    HWND m_window;
};

CProgressDialog::CProgressDialog(HINSTANCE instance, tCleanJob& job)
    : CDialog(instance, IDD_PROGRESS), m_job(job)
{
}

CProgressDialog::~CProgressDialog()
{
    // A dialog that never got as far as its window still must not leave a worker behind.
    if (m_worker.IsRunning())
        m_job.cancelled = true;
    m_worker.Stop();
}

bool CProgressDialog::OnInitDialog()
{
    m_progress.reset(new CPostedProgress(*this, m_hwnd));
    PostMessageA(m_hwnd, kStartMessage, 0, 0);
    return true;
}

bool CProgressDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    switch (message) {
    case kStartMessage:
        OnStart();
        result = TRUE;
        return true;
    case kCacheUrlMessage:
        OnCacheUrl(wParam, reinterpret_cast<char*>(lParam));
        result = TRUE;
        return true;
    case kFinishedMessage:
        OnFinished();
        result = TRUE;
        return true;
    default:
        return CDialog::OnMessage(message, wParam, lParam, result);
    }
}

void CProgressDialog::StartAnimation()
{
    HDC screen = GetDC(m_hwnd);
    int bits = screen ? GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL) : 0;
    if (screen)
        ReleaseDC(m_hwnd, screen);
    UINT clip = bits > 8 ? IDR_ANIMATION : IDR_ANIMATION_8BIT;
    if (SendItem(IDC_ANIMATION, ACM_OPENA, reinterpret_cast<WPARAM>(m_instance),
                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(clip))))
        SendItem(IDC_ANIMATION, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
}

void CProgressDialog::OnStart()
{
    // Only the dialog's own first start message counts.
    if (m_started)
        return;
    m_started = true;
    StartAnimation();
    tCacheCounts counts = CountUrlCache();
    m_range = TotalWeight(m_job.options, counts);
    m_model.Start(m_range);
    SendItem(IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, static_cast<LPARAM>(m_range));
    SendItem(IDC_PROGRESS_BAR, PBM_SETSTEP, 1, 0);
    SendItem(IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
    CPostedProgress* progress = m_progress.get();
    tCleanJob* job = &m_job;
    if (!m_worker.Start([job, progress](CThread&) { RunCleaner(*job, *progress); }))
        EndDialog(IDCANCEL);
}

void CProgressDialog::Show(const tProgressStep& step, const std::string& text)
{
    if (step.advance)
        SendItem(IDC_PROGRESS_BAR, PBM_DELTAPOS, step.advance, 0);
    if (!text.empty())
        SetItemText(IDC_PROGRESS_TEXT, text);
    m_position = m_model.Position();
}

void CProgressDialog::OnPhase(int phase)
{
    tProgressStep step = m_model.OnPhase(phase);
    Show(step, step.textId ? LoadText(step.textId) : std::string());
}

void CProgressDialog::OnHistoryRange(unsigned total)
{
    Show(m_model.OnHistoryRange(total), std::string());
}

void CProgressDialog::OnHistoryItem(const std::string& name)
{
    Show(m_model.OnHistoryItem(), name);
}

void CProgressDialog::OnCacheUrl(WPARAM kind, char* copy)
{
    std::string url;
    if (!TakeUrlCopy(copy, url) || kind != kCacheUrlKind)
        return;
    ++m_urlsShown;
    m_lastUrl = url;
    Show(m_model.OnCacheUrl(), url);
}

void CProgressDialog::OnFinished()
{
    // Only the worker's own end message counts; it is posted as the worker's last act.
    if (!m_ended)
        return;
    m_worker.Join();
    m_position = m_model.Position();
    EndDialog(m_job.cancelled ? IDCANCEL : IDOK);
}

void CProgressDialog::OnCancel()
{
    m_job.cancelled = true;
}

void CProgressDialog::StopWorker()
{
    if (m_worker.IsRunning())
        m_job.cancelled = true;
    // The worker may be inside a broadcast to this thread's windows: answer while waiting.
    m_worker.StopAnsweringSentMessages();
    MSG message;
    while (PeekMessageA(&message, m_hwnd, kCacheUrlMessage, kCacheUrlMessage, PM_REMOVE))
        FreeUrlCopy(reinterpret_cast<char*>(message.lParam));
}

void CProgressDialog::OnDestroy()
{
    StopWorker();
    SendItem(IDC_ANIMATION, ACM_STOP, 0, 0);
    m_progress.reset();
}
