#pragma once

// Shared by the files that implement the main window.

#include "base/ContactFields.h"

#include <QString>

class Form1;
namespace Ui {
class Form1;
}

namespace form1 {
inline const QString kUnit = QStringLiteral("Form1");

// Text box index (Text1 N) -> field of Contacts.
struct BoxBinding {
    int box;
    int field;
};
inline constexpr BoxBinding kBoxBindings[] = {
    {0, ContactField::FirstName},      {1, ContactField::LastName},
    {2, ContactField::ReferredBy},     {3, ContactField::EmailName},
    {4, ContactField::Title},          {6, ContactField::CompanyName},
    {7, ContactField::Dear},           {8, ContactField::WorkPhone},
    {9, ContactField::Address},        {10, ContactField::WorkExtension},
    {11, ContactField::HomePhone},     {12, ContactField::City},
    {13, ContactField::StateOrProvince}, {14, ContactField::PostalCode},
    {15, ContactField::Country},       {16, ContactField::MobilePhone},
    {17, ContactField::FaxNumber},     {18, ContactField::Notes},
    {19, ContactField::MaritalStatus}, {20, ContactField::Hometown},
    {21, ContactField::SpouseName},    {22, ContactField::Birthdate},
    {23, ContactField::ContactsInterests}, {24, ContactField::SpousesInterests},
    {25, ContactField::ChildrenNames},
};

inline QString nullAsEmpty(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}
} // namespace form1

// Form1Commands.cpp: the ten command buttons to their handlers.
void connectCommandButtons(Ui::Form1 *ui, Form1 *window);
