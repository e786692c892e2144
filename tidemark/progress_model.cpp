#include "tidemark/progress_model.h"

void CProgressModel::Start(unsigned range)
{
    *this = CProgressModel();
    m_range = range;
}

tProgressStep CProgressModel::Advance(unsigned units)
{
    tProgressStep step;
    step.advance = units;
    m_position += units;
    return step;
}

tProgressStep CProgressModel::OnPhase(int phase)
{
    if (phase != m_phase) {
        m_phase = phase;
        tProgressStep step;
        step.textId = PhaseTextId(phase);
        return step;
    }
    return Advance(PhaseWeight(phase));
}

tProgressStep CProgressModel::OnHistoryRange(unsigned total)
{
    m_historyTotal = total;
    m_historyCount = 0;
    if (total == 0)
        return Advance(kHistoryFolderWeight);
    return tProgressStep();
}

tProgressStep CProgressModel::OnHistoryItem()
{
    ++m_historyCount;
    return Advance(HistoryItemShare(m_historyCount, m_historyTotal));
}

tProgressStep CProgressModel::OnCacheUrl()
{
    return Advance(1);
}
