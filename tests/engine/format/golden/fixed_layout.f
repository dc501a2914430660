! options: fixed no-separators
C     LABEL FIELD, COLUMN 6, CLAMP AT 72, COLUMNS 73+, TAB FORM
      SUBROUTINE LAYOUT(N, A)
      INTEGER N, I, J
      REAL A(N)
      DO 10 I = 1, N
      DO 10 J = 1, N
      IF (A(I) .GT. 0.0) THEN
      A(I) = A(I) + 1.0 + A(J) + 2.0 + A(J) + 3.0 + A(J) + 4.0 + A(J)
      A(I) = A(I) + 1.0 + A(J) + 2.0 + A(J) + 3.0 +     A(J) + 4.0
      A(I) = A(I) + 1.0 + A(J) + 2.0 + A(J) + 3.0 + A(J) + 4.0 + A(J)+ 5SEQ00090
      ELSE
      A(I) = -1.0                                                       SEQ00110
      CALL SUB(A(I),
     1         A(J),
     +         N)
      END IF
   10 CONTINUE
	DO 20 I = 1, N
	A(I) = A(I)
	1  * 2.0
20	CONTINUE
   30 FORMAT (1X, 'A CONSTANT    WITH FOUR BLANKS')
      WRITE (6, *) 'A CONSTANT THAT GOES ON ONTO THE NEXT LINE, BLANKS    
     $    KEPT'
     *           ,N
   40 FORMAT (1X, 15HTOTAL    ENERGY, 2X, 36HA HOLLERITH THAT GOES ON TO
     $ THE NEXT)
*     A COMMENT WITH    FOUR BLANKS STAYS
c     lower-case c comment
  !   a comment by its exclamation mark
      END
