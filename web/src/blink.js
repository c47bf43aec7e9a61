// The cursor blinks by a timer that shows and hides it, not by a CSS
// animation. An animation, even one that only turns the cursor on and off,
// keeps the browser drawing frames at the display's rate while the editor
// has focus, and a keystroke's frame then waits for the next of them: about
// half a frame on average. Between the timer's steps the browser draws
// nothing, so it draws a keystroke's frame at once.
import { ViewPlugin, drawSelection } from '@codemirror/view';

// As long as the cursor is shown, and then hidden.
const HALF = 600;

const blinking = ViewPlugin.fromClass(class {
  constructor(view) {
    this.view = view;
    this.timer = null;
    this.restart();
  }

  // Shown whole while one types or moves, and blinking again after.
  update(u) {
    if (u.docChanged || u.selectionSet || u.focusChanged) this.restart();
  }

  restart() {
    clearInterval(this.timer);
    this.timer = null;
    this.show(true);
    if (!this.view.hasFocus || matchMedia('(prefers-reduced-motion: reduce)').matches) return;
    let shown = true;
    this.timer = setInterval(() => this.show(shown = !shown), HALF);
  }

  show(shown) {
    const layer = this.view.scrollDOM.querySelector(':scope > .cm-cursorLayer');
    if (layer) layer.style.visibility = shown ? '' : 'hidden';
  }

  destroy() {
    clearInterval(this.timer);
  }
});

// The cursor and selection drawn by the editor, with the cursor blinking as
// above.
export const cursorBlinking = [drawSelection({ cursorBlinkRate: 0 }), blinking];
