/* One layout for every alert: the icon on the left, the message beside it, the buttons below.
   Alerts with one button keep their message in control 2; with more buttons the buttons take
   ids 1..n and the message follows them. */
#define QV_ALERT_STYLE DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU
#define QV_ALERT(id, message) \
    id DIALOGEX 0, 0, 290, 92 STYLE QV_ALERT_STYLE CAPTION "Quorvel 4.6" FONT 8, "MS Shell Dlg" \
    BEGIN DEFPUSHBUTTON "OK", 1, 226, 72, 56, 14 LTEXT message, 2, 40, 8, 239, 62 END
#define QV_ALERT2(id, message, button1, button2) \
    id DIALOGEX 0, 0, 290, 92 STYLE QV_ALERT_STYLE CAPTION "Quorvel 4.6" FONT 8, "MS Shell Dlg" \
    BEGIN DEFPUSHBUTTON button1, 1, 164, 72, 56, 14 PUSHBUTTON button2, 2, 226, 72, 56, 14 \
          LTEXT message, 3, 40, 8, 239, 62 END
#define QV_ALERT3(id, message, button1, button2, button3) \
    id DIALOGEX 0, 0, 290, 92 STYLE QV_ALERT_STYLE CAPTION "Quorvel 4.6" FONT 8, "MS Shell Dlg" \
    BEGIN DEFPUSHBUTTON button1, 1, 102, 72, 56, 14 PUSHBUTTON button2, 2, 164, 72, 56, 14 \
          PUSHBUTTON button3, 3, 226, 72, 56, 14 LTEXT message, 4, 40, 8, 239, 62 END
