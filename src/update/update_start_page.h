// CUpdateStartPage: the wizard's welcome.
#pragma once

#include "update/update_page.h"

namespace update {

class CUpdateStartPage : public UpdatePage
{
    Q_OBJECT
public:
    explicit CUpdateStartPage(CUpdatePropertySheet &sheet);
    void activate() override;
};

} // namespace update
