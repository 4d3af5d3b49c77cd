#include "analysis/plateworker.h"

#include <glpk.h>

PlateUncertaintyWorker::~PlateUncertaintyWorker()
{
    stop();
}

void PlateUncertaintyWorker::stop()
{
    if (m_cancel)
        m_cancel->store(true);
    if (m_thread.joinable())
        m_thread.join();
    m_busy = false;
}

void PlateUncertaintyWorker::start(const PlateUncertainty::Input& input)
{
    qRegisterMetaType<PlateUncertainty::Result>();
    stop();
    m_cancel = std::make_unique<std::atomic<bool>>(false);
    const quint64 generation = ++m_generation;
    m_busy = true;
    std::atomic<bool>* cancel = m_cancel.get();
    m_thread = std::thread([this, input, generation, cancel] {
        const PlateUncertainty::Result result = PlateUncertainty::compute(input, cancel);
        // The minimum zone's GLPK environment belongs to this thread: it would leak past its end.
        glp_free_env();
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, result, generation] {
                if (generation != m_generation)
                    return;
                m_busy = false;
                emit finished(result);
            },
            Qt::QueuedConnection);
    });
}
