#include "analysis/plateworker.h"

#include <glpk.h>

void PlateUncertaintyWorker::start(const PlateUncertainty::Input& input)
{
    qRegisterMetaType<PlateUncertainty::Result>();
    m_run.start<PlateUncertainty::Result>(
        this,
        [input](const std::atomic<bool>* cancel) {
            PlateUncertainty::Result result = PlateUncertainty::compute(input, cancel);
            // The minimum zone's GLPK environment belongs to this thread: it would leak past its end.
            glp_free_env();
            return result;
        },
        [this](const PlateUncertainty::Result& result) { emit finished(result); });
}
