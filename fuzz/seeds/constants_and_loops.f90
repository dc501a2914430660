program demo
  implicit none
	integer :: i,    j
	  	character(len=40) :: s
  s = 'a    b'      ! four blanks kept
  s = "it's" // 'say ''hi'''

  do 10 i = 1, 3
      do 20 j = 1, 2
         print *, i,        j
20    continue
10 continue
  s = 'first    part &
	    second    part'
  s = "one &
  ! a comment between the two halves

      &  two    "
  select case (i)
  case (1)
     print *, 'one'    ! it's    a comment
  case default
     print *, 'open to the end    
  end select
! ************ boxed * comment ************ !
#ifdef DEBUG
  print *, "debug"
#endif
end program demo
subroutine show(a, b)
  real a, b  ! 注释：中文 * !
  write (*, '(a)') '中文    常量'
end subroutine show
