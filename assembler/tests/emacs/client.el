;;; client.el --- eglot, as the README sets it up, against `quellmark lsp'.
;; Writes what it saw, one line a fact, to the file RESULT: "diag
;; LINE:COLUMN CODE" (from 1, in characters), "hover TEXT", "definition
;; LINE...", and the lines after a rename, which it saves.
(require 'eglot)
(require 'flymake)
(require 'xref)

;; The README's set-up, with the program's path.
(define-derived-mode quellmark-mode asm-mode "Quellmark")
(add-to-list 'auto-mode-alist '("\\.asm\\'" . quellmark-mode))
(add-to-list 'eglot-server-programs `(quellmark-mode ,(getenv "QUELLMARK") "lsp"))
(add-hook 'quellmark-mode-hook #'eglot-ensure)

(defvar result nil)
(defun say (text) (push text result))
(defun wait-until (predicate seconds)
  (let ((until (+ (float-time) seconds)))
    (while (and (not (funcall predicate)) (< (float-time) until))
      (accept-process-output nil 0.05))))

(find-file (getenv "SOURCE"))
;; eglot-ensure connects after the command that opened the file.
(run-hooks 'post-command-hook)
(wait-until (lambda () (eglot-current-server)) 10)
(wait-until (lambda () (flymake-start) (>= (length (flymake-diagnostics)) 3)) 10)
(dolist (d (sort (flymake-diagnostics)
                 (lambda (a b) (< (flymake-diagnostic-beg a) (flymake-diagnostic-beg b)))))
  (let ((beg (flymake-diagnostic-beg d)))
    (save-excursion
      (goto-char beg)
      (say (format "diag %d:%d %s" (line-number-at-pos) (1+ (- beg (line-beginning-position)))
                   (flymake-diagnostic-text d))))))

(defun goto (line text)
  "Puts point on the first TEXT of LINE."
  (goto-char (point-min))
  (forward-line (1- line))
  (search-forward text (line-end-position))
  (goto-char (match-beginning 0)))

;; Line 5 is "été:    beq  r1, r0, loop", with letters of two bytes
;; before the name; eglot counts UTF-16 units.
(goto 5 "loop")
(let ((hover (jsonrpc-request (eglot-current-server) :textDocument/hover
                              (eglot--TextDocumentPositionParams))))
  (say (concat "hover " (replace-regexp-in-string
                         "\n" " " (plist-get (plist-get hover :contents) :value)))))
(goto 5 "loop")
(let ((items (xref-backend-definitions 'eglot (xref-backend-identifier-at-point 'eglot))))
  (say (concat "definition "
               (mapconcat (lambda (item)
                            (number-to-string (xref-file-location-line (xref-item-location item))))
                          items " "))))
(goto 5 "loop")
(eglot-rename "again")
(dolist (line '(3 5 7))
  (save-excursion
    (goto-char (point-min))
    (forward-line (1- line))
    (say (concat "line " (buffer-substring-no-properties (point) (line-end-position))))))
(let ((inhibit-message t)) (save-buffer))
(with-temp-file (getenv "RESULT")
  (insert (mapconcat #'identity (reverse result) "\n") "\n"))
(kill-emacs 0)
