// SPDX-License-Identifier: MIT
#include "ui/RootModel.h"

#include "session/AuthService.h"

RootModel::RootModel(QObject *parent)
    : QObject(parent)
{}

void RootModel::setAuth(AuthService *auth)
{
    if (m_auth == auth)
        return;
    QObject::disconnect(m_userConnection);
    m_auth = auth;
    if (auth)
        m_userConnection = connect(auth, &AuthService::currentUserChanged, this, &RootModel::update);
    Q_EMIT authChanged();
    update();
}

void RootModel::update()
{
    Screen screen = Screen::Login;
    if (m_auth && m_auth->currentUser())
        screen = m_auth->currentUser()->isVerified ? Screen::Dashboard : Screen::VerifyEmail;
    if (screen == m_screen)
        return;
    m_screen = screen;
    Q_EMIT screenChanged();
}
