#pragma once

#include "job/ConversionJob.h"

// The main window's working state for its whole life: the job, and what only the window has.
struct MainWindowState : ConversionJob
{
    int m_nSliderPos = 0;
};
