// Tavix CallerID: the tray icon's tooltip: each line's state and the last caller.
#pragma once

#include "monitor/CallerIdCore.h"
#include "monitor/LineStatusModel.h"

#include <QString>
#include <QTime>

#include <optional>

class TrayToolTip
{
  public:
    // Windows shows no more of a tray icon's tooltip.
    static constexpr int kMaxLength = 127;

    // In words, from the line status table's row: "on hook", "ringing", "disabled", ...
    static QString lineState(const LineStatusModel::Row& row);

    // The caller and when it arrived, by the computer's clock.
    void setLastCaller(const IncomingCaller& caller, QTime arrived);

    QString text(const LineStatusModel& lines) const;

  private:
    std::optional<IncomingCaller> m_lastCaller;
    QTime m_arrived;
};
