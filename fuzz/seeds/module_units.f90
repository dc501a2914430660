module shapes
  implicit none
  type :: circle
     real :: r
  end type circle
  interface area
     module procedure circle_area
  end interface area
contains
  pure function circle_area(c) result(a)
    type(circle), intent(in) :: c
    real :: a
    a = 3.14159 * c%r**2
  end function circle_area

  recursive subroutine walk(n, depth)
    integer, intent(in) :: n, depth
    if (n > 0) call walk(n - 1, depth + 1)
    where (depth > 2)
    end where
  end subroutine walk
end module shapes

program main
  use shapes
  integer :: k
  do while (k < 10)
     k = k + 1
     if (k == 3) cycle
  enddo
  block
    real :: x
    x = 1.0
  end block
end
