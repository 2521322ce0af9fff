#pragma once
// The DM session: starting it, checking it before every library operation, choosing a library.
#include <QDate>
#include <QString>
#include <QTime>
#include <stdexcept>

namespace sw {

class Context;

bool CheckFusion(Context& cx, const QString& callerName);
QString GetMachineName(Context& cx);
bool StartFusion(Context& cx);
bool SelectLibrary(Context& cx);

// A DM object that rejected a call, or an object that was needed but is missing: the run-time
// failure that the procedures' error handlers report with its number, source and description.
class DmCallFailure : public std::runtime_error {
 public:
  DmCallFailure(qint64 number, const QString& source, const QString& description)
      : std::runtime_error(description.toStdString()), number_(number), source_(source), description_(description) {}
  qint64 Number() const { return number_; }
  const QString& Source() const { return source_; }
  const QString& Description() const { return description_; }

 private:
  qint64 number_;
  QString source_;
  QString description_;
};

// Numbers of the run-time failures raised for missing objects.
inline constexpr qint64 ErrObjectNotSet = 91;      // an object reference that is not set was used
inline constexpr qint64 ErrCannotCreateObject = 429;  // a DM component could not be created
inline constexpr qint64 ErrAutomation = 440;       // a DM object failed a call for its own reasons

// Dates and times as the messages write them: "Tuesday, December 8, 2026", "09:05:03 PM" and the
// long time form "9:05:03 PM".
QString LongDateText(const QDate& date);
QString AmPmTimeText(const QTime& time);
QString LongTimeText(const QTime& time);

}  // namespace sw
