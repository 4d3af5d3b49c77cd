#pragma once

#include "link/linkcalls.h"
#include "state/linkinternal.h"
#include "state/linkstate.h"
#include "state/mainoptions.h"

#include <QString>

// Rewrites the one-line background file that other programs read for the latest value.
class BackgroundFile final : public BackgroundWriter {
public:
    BackgroundFile(const LinkState& link, const MainOptions& options, LinkInternal& internal)
        : m_link(link), m_options(options), m_internal(internal)
    {
    }

    // Silent on failure: the record is lost and the counter stays.
    void writeBackgroundFile() override;

    // The record for the current state, line end included.
    [[nodiscard]] QString record() const;

private:
    const LinkState& m_link;
    const MainOptions& m_options;
    LinkInternal& m_internal;
};
