// The light-direction picker of the bevel settings: a globe picture with a handle on it, drawn into
// a dialog item. Dragging the handle sets the angle (which way it points from the centre) and, when
// the control carries one, the elevation (90 at the centre, 0 on the rim); every change reaches the
// owner at once, while the button is still down.
#pragma once

#include <cstdint>

#include "DialogComponent.h"
#include "GlobeGeometry.h"
#include "ResourceImage.h"

namespace GlobeIds {
inline constexpr uint16_t kHandlePicture = 16025;
inline constexpr uint16_t kHandleDisabledPicture = 16026;
inline constexpr uint16_t kBevelGlobePicture = 16036;
inline constexpr int16_t kTooSmall = 20005;   // the item holds no globe of a pixel's radius
inline constexpr int16_t kHandleHalf = 8;     // the handle's square about its place
}  // namespace GlobeIds

class GlobeControl : public DialogComponent {
public:
    // The owner hears (this, elevation as the code, angle as the argument) after every change
    // during a drag; the elevation is Globe::kNoElevation for an angle-only control.
    GlobeControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);
    ~GlobeControl() override;

    // Binds the pictures and takes the component's colours from the dialog port's current ones.
    // The control starts angle-only.
    void Init(uint16_t globePicture, uint16_t handlePicture = GlobeIds::kHandlePicture,
              int16_t margin = Globe::kMargin);

    // An item too small for a globe (radius below 1) is filled with the ground only.
    void Draw() override;
    // Follows the pointer until every button is up (a globe too small raises 20005); answers true.
    bool Track(Point16 point) override;

    int32_t Elevation() const { return elevation_; }
    int32_t Angle() const { return angle_; }
    // The owner sets the direction before drawing.
    void SetElevation(int32_t elevation) { elevation_ = elevation; }
    void SetAngle(int32_t angle) { angle_ = angle; }
    Point16 HandlePoint() const { return handle_; }

private:
    Globe::Layout CheckedLayout() const;
    void DrawHandle(Point16 at) const;
    // Repaints the handle's square about `at` from the globe picture.
    void RestoreUnderHandle(Point16 at);

    int32_t elevation_ = Globe::kNoElevation;
    int32_t angle_ = 0;
    int16_t margin_ = Globe::kMargin;
    Point16 handle_{};
    ResourceImage globe_;
    ResourceImage handlePicture_;
    ResourceImage handleDisabled_;
};
