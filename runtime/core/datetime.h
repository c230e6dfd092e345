// The text of a date-time value.
#pragma once

// Writes the calendar text of `value` (days since 1899-12-30, the fraction
// the time of day) into `area` of 260 bytes: "%d年%d月%d日" followed at once
// by "%d时", "%d时%d分" or "%d时%d分%d秒", whichever is the shortest that
// shows the time rounded to the second (nothing at midnight). Day counts
// outside the int32 range are held at its bounds; NaN reads as day 0.
void FormatDateTime(double value, char* area);

// The size of the work area every conversion to text writes into.
inline constexpr int kWorkAreaSize = 260;
