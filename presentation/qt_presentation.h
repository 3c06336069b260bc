// QtPresentation: draws the presentation controls of a loaded project with
// Qt Widgets. It gives every control of the form a widget on the host (the
// main window's client area, or any widget a test or tool renders), keeps
// the widgets in step with the controls through their peers, lays out the
// controls that lie on the form itself when the host is resized, and runs
// the advertising panels' timers.
#pragma once

#include <memory>
#include <vector>

class QImage;
class QMainWindow;
class QWidget;

namespace brimwell {

class ProjectForm;
class TPicture;

class QtPresentation {
 public:
  // Makes the widgets for every control owned by `form`. `host` and `form`
  // must outlive this object; controls freed earlier leave their widgets
  // hidden.
  QtPresentation(ProjectForm& form, QWidget& host);
  ~QtPresentation();
  QtPresentation(const QtPresentation&) = delete;
  QtPresentation& operator=(const QtPresentation&) = delete;

  // True when the form holds no control.
  bool Empty() const;
  // Lays out the controls without a parent in the host's area.
  void RealignForm();

  // The presentation of the engine's main window: when the project holds
  // controls, the window gets a client widget for them and is shown over
  // the whole screen. Returns nullptr when the project holds none.
  static std::unique_ptr<QtPresentation> AttachToMainWindow(ProjectForm& form, QMainWindow& window);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// The picture as an image: bitmaps and JPEGs through Qt's image readers. A
// damaged image gives a null QImage (nothing is drawn), never a crash.
QImage DecodePicture(const TPicture& picture);

}  // namespace brimwell
