// Lists what a run with the ticked options would delete (4100).
#pragma once

#include "common/ui/dialog.h"
#include "tidemark/preview.h"

class CPreviewDialog : public ui::CDialog {
public:
    explicit CPreviewDialog(HINSTANCE instance);

    tPreviewRows m_rows;

protected:
    bool OnInitDialog() override;
};
