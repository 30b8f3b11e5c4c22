#pragma once

// Everything the tool says to its user, in one place. UTF-8.
namespace korvessan::Texts {

inline constexpr char AppTitle[] = "Стирание Korvessan";

// What a screen reader calls the two value labels; the value follows.
inline constexpr char SerialNumberTitle[] = "Серийный номер";
inline constexpr char VersionTitle[] = "Версия прошивки";

// Status log lines; the formats take printf arguments.
inline constexpr char SerialNumber[] = "Серийный номер %d";
inline constexpr char UnknownNumber[] = "Неизвестный номер %d";
inline constexpr char NotConnected[] = "Устройство не подключено";
inline constexpr char EraseStarted[] = "Идёт стирание записей в приборе, пожалуйста, подождите...";
inline constexpr char SectorErased[] = "Сектор %d стерт";
inline constexpr char EraseDone[] = "Память успешно стёрта, дождитесь погасания красного светодиода";
inline constexpr char EraseFailed[] = "Ошибка при стирании";
inline constexpr char DriverMissing[] = "Библиотека драйвера %s не найдена, устройства недоступны";
inline constexpr char AccessDenied[] =
    "Нет прав на доступ к прибору %s: установите пакет korvessan-erase (правило udev) и переподключите прибор";

} // namespace korvessan::Texts
