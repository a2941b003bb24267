pragma Singleton
import QtQuick

// Every colour, text size and corner radius the screens and shared controls draw with, the one
// diagonal gradient, the icon font, and each screen's minimum size. Spacing and margins stay
// beside the layout they belong to.
//
// The gradient runs from darkRed at the top-left corner of whatever it fills to brightRed at its
// bottom-right corner. Screens draw it with ThemeGradient, their back layer filling the whole
// window:
//
//     ThemeGradient { anchors.fill: parent }
QtObject {
    // The brand: the accent, its brighter end (also errors), and the darker red of the sidebar's
    // welcome card.
    readonly property color darkRed: Qt.rgba(0.545, 0.0, 0.0, 1.0)
    readonly property color brightRed: Qt.rgba(0.753, 0.224, 0.169, 1.0)
    readonly property color deepRed: Qt.rgba(0.478, 0, 0, 1)

    // Text.
    readonly property color ink: Qt.rgba(0.102, 0.102, 0.102, 1.0)
    readonly property color subtle: Qt.rgba(0.533, 0.533, 0.533, 1.0)
    readonly property color faint: Qt.rgba(0.73, 0.73, 0.73, 1)
    readonly property color fieldText: "black"
    readonly property color placeholder: Qt.rgba(0.6, 0.6, 0.6, 1)
    // The platform's standard grey: quiet buttons' text, and a primary button's fill while disabled.
    readonly property color standardGrey: "#8e8e93"

    // On the accent: text, its two softer tints, the large ◆ behind the balance, and a pressed
    // button's veil.
    readonly property color onAccent: "white"
    readonly property color onAccentSoft: Qt.rgba(1, 0.8, 0.8, 1)
    readonly property color onAccentMuted: Qt.rgba(1, 0.667, 0.667, 1)
    readonly property color onAccentWatermark: Qt.rgba(1, 1, 1, 0.15)
    readonly property color onAccentPressed: Qt.rgba(1, 1, 1, 0.12)

    // Surfaces.
    readonly property color surface: "white"
    readonly property color page: Qt.rgba(0.96, 0.96, 0.96, 1)
    readonly property color fieldFill: Qt.rgba(0.96, 0.96, 0.96, 1)
    readonly property color quietFill: Qt.rgba(0.93, 0.93, 0.93, 1)
    readonly property color cardTint: Qt.rgba(0.992, 0.961, 0.961, 1.0)
    readonly property color separator: Qt.rgba(0.9, 0.9, 0.9, 1)
    // The keyboard focus (QLXFocusRing): a dark blue ring and a white one inside it, 10:1 apart,
    // so that one of them has at least 3:1 against any fill or background here.
    readonly property color focusRing: Qt.rgba(0, 0.2, 0.6, 1)
    readonly property color focusHalo: "white"
    readonly property color busyBar: Qt.rgba(0.45, 0.45, 0.45, 1)
    readonly property color shadow: Qt.rgba(0, 0, 0, 0.1)
    readonly property color sheetShadow: Qt.rgba(0, 0, 0, 0.3)

    // A confirmed choice (the send form's picked recipient): its check mark and, faintly, its fill.
    readonly property color confirmed: "#34c759"
    readonly property color confirmedTint: Qt.rgba(confirmed.r, confirmed.g, confirmed.b, 0.08)

    // Text sizes (pixels), smallest to largest.
    readonly property int captionSize: 10      // labels above fields, account numbers, "Change", "No users found"
    readonly property int footnoteSize: 11     // a transfer's date, the sidebar's account number
    readonly property int detailSize: 12       // a transfer's note
    readonly property int bodySize: 13         // running text, messages, buttons
    readonly property int calloutSize: 14      // typed text and a transfer's names
    readonly property int actionSize: 15       // a screen's main button
    readonly property int headlineSize: 16     // a transfer's amount, the sidebar's name
    readonly property int title3Size: 18       // section headings
    readonly property int title2Size: 20       // the reset sheet's heading, a hit's person icon
    readonly property int title1Size: 22       // a screen's heading, the code field
    readonly property int brandMarkSize: 36    // the sidebar's ◆
    readonly property int balanceSize: 40      // the balance figure
    readonly property int verifyMarkSize: 48   // the envelope on the verification screen
    readonly property int logoSize: 52         // the ◆ above the sign-in form
    readonly property int watermarkSize: 64    // the large ◆ behind the balance

    // Corner radii (pixels).
    readonly property int tabRadius: 7         // a tab inside the tab bar (control radius less its inset)
    readonly property int controlRadius: 8     // fields, buttons, the tab bar, chips, the hit list
    readonly property int rowRadius: 10        // a transfer row, the sidebar's welcome card
    readonly property int sheetRadius: 12      // a modal sheet
    readonly property int cardRadius: 14       // the dashboard's cards
    readonly property int panelRadius: 16      // the sign-in and verification panels

    // The glyphs of icon buttons and marks (fonts-material-design-icons-iconfont).
    readonly property string iconFont: "Material Icons"

    // The smallest window each screen allows; a screen grows past it when its content needs more.
    readonly property size loginMinimum: Qt.size(440, 520)
    readonly property size verifyMinimum: Qt.size(420, 460)
    readonly property size dashboardMinimum: Qt.size(800, 560)
}
